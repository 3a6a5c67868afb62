#!/bin/sh
# Rehearses a policy under cron: one new entry a night and one agetrim run
# a night, in date mode, so that nothing on disk is touched. Instead of the
# clock, the dates move: each night every entry is a day older.
# Usage: sh examples/rehearse.sh [-y] path/to/agetrim "OPTIONS" NIGHTS
#   -y  start from a full year of dailies (366 entries), not from nothing
# Prints how many entries are kept after chosen nights and, at the end,
# which ages are kept: a chart with a column for five days, today on the
# left and a year ago on the right, and the ages themselves.
set -eu
year_of_dailies=
if [ "${1:-}" = -y ]; then
    year_of_dailies=1
    shift
fi
if [ $# -ne 3 ]; then
    echo "usage: sh examples/rehearse.sh [-y] path/to/agetrim \"OPTIONS\" NIGHTS" >&2
    exit 1
fi
bin=$1 options=$2 nights=$3
export TZ=UTC LC_ALL=C

# Entries are dated an hour before now and whole days back: an entry d days
# old is "YEAR-MONTH-(DAY - d) HOUR-1:MINUTE:SECOND"; agetrim normalises day
# numbers below 1 into the months before, and an hour of -1 into the day
# before.
set -- $(date -u '+%Y %m %d %H %M %S')
year=$1 month=${2#0} day=${3#0} hour=${4#0} minute=$5 second=$6

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

# Each entry is the night it was made on; night 0 is the start.
kept=
if [ -n "$year_of_dailies" ]; then
    k=-365
    while [ $k -le 0 ]; do
        kept="$kept $k"
        k=$((k + 1))
    done
fi

# prune NIGHT: the run of that night, over the entries in kept.
prune() {
    n=$1
    set --
    for k in $kept; do
        set -- "$@" "$year-$month-$((day - n + k)) $((hour - 1)):$minute:$second"
    done
    # -a and -S write a line per entry to standard error: only a failure's
    # message is shown.
    # shellcheck disable=SC2086
    if ! retained=$("$bin" -d -N $options -- "$@" 2>"$errors"); then
        cat "$errors" >&2
        exit 1
    fi
    kept=
    for line in $(echo "$retained" | sed 's/^[0-9]*-[0-9]*-\(-*[0-9]*\) .*/\1/'); do
        kept="$kept $((n - day + line))"
    done
}

start=nothing
[ -z "$year_of_dailies" ] || start="a year of dailies"
printf 'agetrim -d -N %s, nightly for %s nights, from %s\n' "$options" "$nights" "$start"
shown="1 2 3 7 14 30 60 90 120 180 365 $nights"
header="night:" counts="kept: "
low= high=
n=1
while [ "$n" -le "$nights" ]; do
    kept="$kept $n"
    prune "$n"
    count=$(echo $kept | wc -w)
    count=$((count))
    case " $shown " in *" $n "*)
        case "$header" in *" $n") ;; *)
            header=$(printf '%s %5d' "$header" "$n")
            counts=$(printf '%s %5d' "$counts" "$count") ;;
        esac ;;
    esac
    if [ $((2 * n)) -gt "$nights" ]; then
        [ -n "$low" ] && [ "$low" -le "$count" ] || low=$count
        [ -n "$high" ] && [ "$high" -ge "$count" ] || high=$count
    fi
    n=$((n + 1))
done
echo "$header"
echo "$counts"
echo "kept over the last half of the nights: $low to $high"

ages=
for k in $kept; do ages="$ages $((nights - k))"; done
ages=$(echo $ages | tr ' ' '\n' | sort -n | tr '\n' ' ')
echo "ages kept after the last night, in days (a column is five days, up to a year):"
echo "$ages" | awk '{
    for (i = 1; i <= NF; i++) if ($i <= 369) column[int($i / 5)] = 1
    line = ""
    for (c = 0; c <= 73; c++) line = line (c in column ? "#" : ".")
    print line
}'
echo "$ages" | sed 's/ $//'
