#!/usr/bin/env bash
# The long fuzz run: every target of the clang tree (ASan and UBSan in each)
# for a fixed number of executions, one after the other on one core, from
# the seed corpora into a working corpus of its own. The counts follow each
# target's speed, so that the run is about 10^8 executions in all. A target
# stops at its first finding and leaves it in the working directory
# (crash-*, leak-*, timeout-*); one line per target goes to summary.txt.
#
#   tests/fuzz/long-run.sh [WORKDIR]      (default /tmp/fuzz-run; build/fuzz must be built)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$root/build/fuzz/tests
seeds_root=$root/tests/fuzz/corpus
work=${1:-/tmp/fuzz-run}
mkdir -p "$work" && cd "$work" || exit 1
: > summary.txt
total=0
for entry in fuzz-casecmp:30000000 fuzz-package-checks:25000000 fuzz-status-text:15000000 fuzz-path:8000000 \
            fuzz-pathbuf:7000000 fuzz-utf16:5000000 fuzz-utf8:4000000 fuzz-argvsplit:4000000 \
            fuzz-format:3000000 fuzz-pack-list:3000000 fuzz-getopt:700000; do
    n=${entry%%:*} runs=${entry##*:}
    [ -x "$bin/$n" ] || { echo "$n: not built ($bin)"; exit 1; }
    mkdir -p "corpus/$n"
    seeds=(); [ -d "$seeds_root/$n" ] && seeds=("$seeds_root/$n")
    t0=$(date +%s)
    "$bin/$n" -runs="$runs" -timeout=10 -print_final_stats=1 "corpus/$n" "${seeds[@]}" > "$n.log" 2>&1
    rc=$?
    execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$n.log")
    total=$((total + ${execs:-0}))
    echo "$n rc=$rc execs=${execs:-?} secs=$(( $(date +%s) - t0 )) new=$(awk '/stat::new_units_added/ {print $2}' "$n.log")" \
         "findings=$(grep -c SUMMARY "$n.log")" | tee -a summary.txt
done
echo "total executions: $total" | tee -a summary.txt
