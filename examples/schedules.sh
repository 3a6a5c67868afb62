#!/bin/sh
# Draws what each schedule keeps of a year of daily entries: agetrim decides
# (a dry run in date mode) and each column stands for five days of age, from
# today on the left to a year ago on the right.
# Usage: sh examples/schedules.sh [path/to/agetrim]
bin=${1:-build/agetrim}
export TZ=UTC
set -- $(date -u '+%Y %m %d')
year=$1 month=${2#0} day=${3#0}

# One date per day for 366 days; agetrim normalises day numbers below 1
# into the months before.
dates() {
    i=0
    while [ $i -le 365 ]; do
        echo "$year-$month-$((day - i)) 12:00"
        i=$((i + 1))
    done
}

printf '%-18s %4s  %s\n' "options" "kept" "today ... one year ago"
for options in "" "-f" "-e 2" "-e 1.5" "-g 30" "-g 180" "-f -c 8" "-g 30 -c 10"; do
    dates | tr '\n' '\0' | xargs -0 "$bin" -d -N $options |
        awk -v day="$day" -v options="${options:-(uniform)}" '
            { sub(/^[0-9]+-[0-9]+-/, "", $1); column[int((day - $1) / 5)] = 1; kept++ }
            END {
                line = ""
                for (c = 0; c <= 73; c++) line = line (c in column ? "#" : ".")
                printf "%-18s %4d  %s\n", options, kept, line
            }'
done
