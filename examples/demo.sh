#!/bin/sh
# Shows agetrim at work: sixty daily snapshot directories in a temporary
# folder, a dry run of a Fibonacci schedule, the real prune, and what is left.
# Usage: sh examples/demo.sh [path/to/agetrim]
set -e
bin=${1:-build/agetrim}
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Formats a time in seconds since the epoch (GNU date, else BSD date).
stamp() { date -d "@$1" "+$2" 2>/dev/null || date -r "$1" "+$2"; }

now=$(date +%s)
for age in $(seq 0 59); do
    t=$((now - age * 86400 - 3600))
    snapshot=$dir/snapshot-$(stamp "$t" %Y-%m-%d)
    mkdir "$snapshot"
    echo "backup data" >"$snapshot/data"
    touch -t "$(stamp "$t" %Y%m%d%H%M.%S)" "$snapshot"
done
cd "$dir"

echo "== 60 daily snapshots; a Fibonacci schedule would keep these (agetrim -N -f):"
"$bin" -N -f snapshot-*
echo
deleted=$("$bin" -v -f snapshot-* | grep -c '^Deleted ')
echo "== pruned for real (agetrim -v -f): $deleted snapshots deleted"
echo "== what is left:"
ls
