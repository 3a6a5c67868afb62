#!/bin/bash
# Runs each fuzz target for a given time, starting from its seed corpus.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
#   BUILD_DIR  a build configured with CXX=clang++ and -DAGETRIM_FUZZ=ON
#   TARGET     arguments, dates, schedule, policies (default: all)
# New inputs go to BUILD_DIR/fuzz/corpus-TARGET; a crash leaves its input in
# BUILD_DIR/fuzz/ and makes the script fail. The last line of each run, with
# the number of executions and the coverage, is printed.
set -u
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(arguments dates schedule policies)
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "${targets[@]}"; do
    corpus=$build/fuzz/corpus-$target
    mkdir -p "$corpus"
    log=$build/fuzz/$target.log
    (cd "$build/fuzz" && ./"fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "$here/corpus/$target") >"$log" 2>&1
    result=$?
    done_line=$(grep -aE '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    execs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "$target: status $result, ${execs:-?} executions; ${done_line:-no DONE line}"
    if [ "$result" -ne 0 ]; then
        grep -E 'ERROR|invariant|SUMMARY|Test unit written' "$log" | head -n 5
        status=1
    fi
done
exit $status
