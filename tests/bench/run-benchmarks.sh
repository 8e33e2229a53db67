#!/usr/bin/env bash
# Runs every benchmark once: the host Google Benchmark programs of the release
# tree, then the whole-program figures under Wine (start-up, size, extraction).
# Benchmarks are not tests: each reports ratios against a baseline measured in
# the same run. The machine's load is printed with the figures; a loaded
# machine stretches every time, the ratios less so.
#   BENCH_NATIVE   host release tree (default build/native)
#   QUAB_WIN_BUILD Windows tree with e2e-bin/ and the stub's link (default build/win)
#   BENCH_EXTRACT_MIB  package size of the extraction benchmark (default 256)
set -uo pipefail
cd "$(dirname "$0")/../.."
NATIVE=${BENCH_NATIVE:-build/native}
export QUAB_WIN_BUILD=${QUAB_WIN_BUILD:-$PWD/build/win}
export QUAB_WINEPREFIX=${QUAB_WINEPREFIX:-$QUAB_WIN_BUILD/wineprefix}
EXTRACT_MIB=${BENCH_EXTRACT_MIB:-256}
fail=0

section() { echo; echo "=== $*"; uptime; }

for b in "$NATIVE"/tests/bench-*; do
    [ -x "$b" ] || continue
    section "$(basename "$b")"
    "$b" --benchmark_min_time=0.3 --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_color=false || fail=1
done

section "start-up under Wine"
python3 tests/bench/bench-startup.py || fail=1

section "stub size"
python3 tests/bench/bench-size.py --build "$QUAB_WIN_BUILD" --variants || fail=1

section "extraction under Wine, ${EXTRACT_MIB} MiB"
python3 tests/bench/bench-extract.py --size "$EXTRACT_MIB"
rc=$?
if [ $rc -eq 3 ]; then
    # Under 32-bit Wine in user-mode emulation the emulator's own loader sits
    # at 0x07810000, below which the image has to fit (see BENCHMARKS.md).
    section "extraction under Wine, 96 MiB (the largest image that starts here)"
    python3 tests/bench/bench-extract.py --size 96 || fail=1
elif [ $rc -ne 0 ]; then
    fail=1
fi
exit $fail
