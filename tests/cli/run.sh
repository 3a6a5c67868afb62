#!/bin/bash
# End-to-end checks of the agetrim binary: exact standard output, standard
# error and exit status for each command line.
set -u
. "$(dirname "$0")/lib.sh"

usage=$(printf 'usage: %s [-n|-p|-N] [-c count|-s size[k|m|g|t]|-a age[w|m|y]|-S size[k|m|g|t]]
\t[-e exp|-g sd|-f] [-t a|m|c] [-FKYv] file ...
or: %s -d -n|-N [-c count|-a age[w|m|y]] [-e exp|-g sd|-f] [-FKv] date ...
-n\t\tDo not delete files; print file names to delete
-N\t\tDo not delete files; print file names to retain
-p\t\tPrint the specified schedule for count elements
-c count\tKeep count files
-s size\t\tKeep files of size bytes (can multiply with k, m, g, t)
-a age\t\tKeep files up to the specified age
\t\t(age is in days, can postfix with w(eeks), m(months) y(years))
-S size\t\tEnsure that size bytes are free on the device
-e exp\t\tUse an exponential distribution
-g sd\t\tUse a Gaussian distribution with given standard deviation
-f\t\tUse a Fibonacci distribution
-t a|m|c\tFor age use access, modification (default), creation time
-t PAT\tFor age use access, use the given strptime pattern
-F\t\tForce pruning even if size/count have not been exceeded
-K\t\tKeep scheduled files even if size/count have been exceeded
-Y\t\tNever delete the youngest file, even if constraints imply that
-v\t\tVerbose: print names of deleted files
-d\t\tUse a list of ISO dates, rather than actual files
' "$bin" "$bin")
usage="$usage
"

if group basic; then
    # Printing schedules without operands.
    check 0 "0${nl}1${nl}" "" -p -c 5
    check 0 "1${nl}1${nl}" "" -p -c 8 -f
    check 0 "1${nl}" "" -p -c 8 -e 3
    check 0 "1${nl}5${nl}10${nl}" "" -p -c 3 -g 10
    check 0 "1${nl}8${nl}16${nl}25${nl}37${nl}" "" -pc5 -g30
    check 0 "1${nl}2${nl}3${nl}14${nl}125${nl}" "" -p -c 5 -g 1

    # Printing schedules sized by real operands. Ages are whole days plus twelve
    # hours, so the run may start at any time of day.
    set_time "$((now - 10 * 86400 - 43200))" "$work/old"
    set_time "$((now - 3600))" "$work/new"
    # Named for midnight three days ago: three or (just after midnight) four days
    # old, which give the same Fibonacci schedule.
    dated=$(utc_date "$((now - 3 * 86400))" %Y%m%d).tar
    : >"$work/$dated"
    : >"$work/20200701.tar"
    check 0 "1${nl}1${nl}2${nl}3${nl}5${nl}8${nl}13${nl}" "" -p -c 1 -f "$work/new" "$work/old"
    check 0 "1${nl}2${nl}4${nl}8${nl}16${nl}" "" -p -c 1 -e 2 "$work/old"
    check 0 "1${nl}5${nl}10${nl}" "" -p -c 2 -g 10 "$work/old" "$work/new" "$work/old"
    check 3 "" "$bin: stat($work/missing): No such file or directory$nl" -p -c 1 "$work/old" "$work/missing"
    cd "$work" || exit 1
    check 0 "1${nl}1${nl}2${nl}3${nl}5${nl}" "" -p -c 1 -f -t %Y%m%d "$dated"
    # An option after an operand is an operand.
    check 3 "" "$bin: stat(-t): No such file or directory$nl" -p -c 1 -t %Y%m%d "$dated" -t
    cd - >/dev/null || exit 1
    check 2 "" "$bin: Could not match $work/20200701.tar against %Y%m%d.$nl" -p -c 1 -t %Y%m%d "$work/20200701.tar"

    # Limits over dates: the count policy deletes the one candidate (the newer of
    # two equal times), then the two oldest that the schedule keeps.
    dates=("2017-01-01" "2020-01-01 00:00" "2019-06-01" "2020-01-01" "2018-01-01")
    check 0 "2020-01-01 00:00${nl}2018-01-01${nl}2017-01-01${nl}" "" -d -n -c 2 "${dates[@]}"
    check 0 "2020-01-01${nl}2019-06-01${nl}" "" -d -N -c 2 "${dates[@]}"
    check 0 "2020-01-01 00:00${nl}" "" -d -n -K -c 2 "${dates[@]}"
    check 0 "2020-01-01 00:00${nl}2020-01-01${nl}2019-06-01${nl}2018-01-01${nl}" "" -d -N -Y -c 4 "${dates[@]}"
    # The free-space probe takes date operands as paths.
    check 3 "" "$bin: statsvfs(2020-01-01): No such file or directory$nl" -d -n -S 1k 2020-01-01

    # A date so far back that its age does not fit 32 bits is a delete
    # candidate under every schedule and changes nothing for the others.
    week=()
    for d in 1 2 3 4 5 6 7; do week+=("$(utc_date "$((now - d * 86400))" %Y-%m-%d)"); done
    far=-2000000000-01-01
    for o in "" -f "-e 2" "-e 0.5" "-F -g 3 -c 9"; do
        "$bin" -d -n $o "${week[@]}" >"$out/without" 2>&1
        echo "$far" >>"$out/without"
        check 0 "$(cat "$out/without")$nl" "" -d -n $o -- "${week[@]}" "$far"
    done

    # Date operands that cannot be read.
    check 4 "" "$bin: Unable to parse date [2020-07] as YYYY-MM-DD [hh:[mm:[ss]]]$nl" -d -n 2020-01-01 2020-07
    check 4 "" "$bin: Invalid time specification: 2147483647-2147483647-1$nl" -d -N 2147483647-2147483647-1
fi

# Output that cannot be written is a failure, not a success.
if group full; then
    if [ -w /dev/full ]; then
        "$bin" -p -c 3 >/dev/full 2>"$out/err"
        status=$?
        [ "$status" = 3 ] && [ "$(cat "$out/err")" = "$bin: write(standard output): No space left on device" ] ||
            fail "writing to a full device: status $status, $(cat "$out/err")"
    else
        skip full "no /dev/full to write to"
    fi
fi

# A schedule too large for the address space.
if group memory; then
    if (ulimit -v 100000 && "$bin" -p -c 1 >/dev/null 2>&1); then
        (ulimit -v 100000 && wrapper=() && check 2 "" "$bin: Out of memory$nl" -p -c 2147483647 -g 1e9) ||
            failures=$((failures + 1))
        # A date beyond every schedule needs no schedule that reaches it: a
        # uniform one would take 8 GiB.
        (ulimit -v 262144 -t 5 && wrapper=() && check 0 "-2000000000-01-01$nl" "" -d -n -- 2026-01-01 -2000000000-01-01) ||
            failures=$((failures + 1))
    else
        skip memory "this build cannot start under an address-space limit (sanitizers reserve more)"
    fi
fi

if group basic; then
    # Bad arguments and combinations.
    check 2 "" "$bin: Invalid count argument$nl" -p -c 3x
    check 2 "" "$bin: Invalid size multiplier$nl" -s 10x f
    check 2 "" "$bin: Invalid days argument$nl" -a -1 f
    check 2 "" "$bin: Invalid date multiplier$nl" -a 5d f
    check 2 "" "$bin: Invalid exponent argument$nl" -e 0 f
    check 2 "" "$bin: Invalid standard deviation argument$nl" -g 0.5 f
    check 2 "" "$bin: Invalid time specification$nl" -t '' f
    check 1 "" "Cannot specify more than one schedule limit option$nl$usage" -c 5 -s 1g f
    check 1 "" "The schedule print option requires a count specification$nl$usage" -p
    check 1 "" "Required file or date arguments are missing$nl$usage"
    check 1 "" "Required file or date arguments are missing$nl$usage" -d -n
    check 1 "" "The -d option requires -N or -n and cannot be used with -t and -s$nl$usage" \
        -d -c 3 2020-01-01
    # getopt's own diagnostic comes first; only what follows is ours.
    "$bin" -x >/dev/null 2>"$out/err"
    status=$?
    if [ "$status" != 1 ] || [ "$(tail -n 21 "$out/err")$nl" != "$usage" ]; then
        fail "unknown option: status $status"
    fi
fi

finish
