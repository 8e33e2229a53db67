#!/usr/bin/env bash
# Runs every test suite once: host unit tests (ASan/UBSan), the same and the
# Windows-layer tests under Wine, short fuzzer runs, and the end-to-end tests.
# Exits non-zero if anything failed; the last line counts every test case.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
RESULTS=$ROOT/build/test-results
rm -rf "$RESULTS" build/asan/test-results build/win/test-results
mkdir -p "$RESULTS"
fail=0

export QUAB_WINEPREFIX=$ROOT/build/win/wineprefix
tools/wine-prefix.sh "$QUAB_WINEPREFIX"

# Wine's desktop takes its screen from the display of the program that
# started it, for the whole wineserver session: a desktop started without
# one is a 1024x768 screen nobody sees, and the windows of the end-to-end
# tests would go there. So the display comes first.
xvfb_pid=
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    for n in $(seq 90 119); do
        [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || break
    done
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
fi
WINEPREFIX=$QUAB_WINEPREFIX wineserver -k 2>/dev/null; WINEPREFIX=$QUAB_WINEPREFIX wineserver -w
WINEDEBUG=-all WINEPREFIX=$QUAB_WINEPREFIX wineserver -p </dev/null >/dev/null 2>&1
# The first program of a wineserver session starts Wine's background
# services, which inherit its standard handles: start them here, without
# the pipes of a test runner, or the runner waits for them to end.
QEMU_RESERVED_VA=0xffff0000 WINEDEBUG=-all WINEPREFIX=$QUAB_WINEPREFIX wine cmd /c exit </dev/null >/dev/null 2>&1
trap 'WINEPREFIX=$QUAB_WINEPREFIX wineserver -k 2>/dev/null; [ -z "$xvfb_pid" ] || kill $xvfb_pid 2>/dev/null' EXIT

suite() {
    local name=$1; shift
    echo "=== $name"
    "$@" || { echo "=== $name: FAILED"; fail=1; }
}

suite "host unit tests (ASan/UBSan)" ctest --test-dir build/asan --output-on-failure -j2 \
    --output-junit "$RESULTS/ctest-asan.xml"
suite "unit tests under Wine" ctest --test-dir build/win --output-on-failure -j2 \
    --output-junit "$RESULTS/ctest-win.xml"
suite "fuzzers (short runs)" ctest --test-dir build/fuzz --output-on-failure -j2 \
    --output-junit "$RESULTS/ctest-fuzz.xml"

echo "=== end-to-end tests under Wine"
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider --junitxml="$RESULTS/e2e.xml"
rc=$?
if [ $rc -ne 0 ] && [ $rc -ne 5 ]; then echo "=== end-to-end tests: FAILED"; fail=1; fi

/usr/bin/python3 tests/summarize.py "$RESULTS" build/asan/test-results build/win/test-results || fail=1
exit $fail
