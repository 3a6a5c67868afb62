#!/bin/bash
# Runs the whole test suite with every agetrim process under valgrind's
# memcheck: the unit tests directly, the end-to-end scripts through their
# AGETRIM_WRAPPER hook. Any error valgrind reports fails the run.
# Usage: tests/memcheck.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
export AGETRIM_WRAPPER="valgrind --quiet --error-exitcode=99 --leak-check=full
    --errors-for-leak-kinds=definite --log-file=$logs/%p.log"
status=0

echo "== unit tests"
$AGETRIM_WRAPPER "$build/tests/unit_tests" --gtest_brief=1 || status=1
# A script that skipped a group (status 77) says which and why; that is no
# failure here.
for script in run.sh remove.sh space.sh; do
    echo "== $script"
    bash "$here/cli/$script" "$build/agetrim" "$build/tests/treetool" \
        "$build/tests/libswap_shim.so"
    result=$?
    [ "$result" = 0 ] || [ "$result" = 77 ] || status=1
done
if grep -l 'ERROR SUMMARY: [1-9]\|definitely lost' "$logs"/*.log 2>/dev/null; then
    status=1
    cat "$logs"/*.log
fi
[ "$status" = 0 ] && echo "memcheck: no errors"
exit $status
