#!/bin/bash
# End-to-end free-space policy on a small tmpfs of its own, whose free space
# nothing else changes: the limits below are set from what it reports.
set -u
want_mounts=1
. "$(dirname "$0")/lib.sh"
why=$(mounts_unavailable)
if [ -n "$why" ]; then
    skip space "$why"
    finish
fi
mount_scratch 1m || exit 1
# free: the bytes available on the scratch file system.
free() { "$treetool" fsinfo "$work" | { read -r unit count && echo $((unit * count)); }; }

# f1 is the newest, f8 the oldest; all fall into the first day, so f8 is
# kept by the schedule and the others are delete candidates.
make_files() {
    rm -f "$work"/f*
    for i in 1 2 3 4 5 6 7 8; do
        head -c 102400 /dev/zero >"$work/f$i"
        set_time "$((now - i * 600))" "$work/f$i"
    done
}
files() { for i in 1 2 3 4 5 6 7 8; do printf '%s ' "$work/f$i"; done; }
# lines [-d] NAME...: one line per name under the scratch folder, the last
# without its newline; -d makes them "Deleted" lines.
lines() {
    local prefix=
    [ "$1" = -d ] && prefix="Deleted " && shift
    for l in "$@"; do printf '%s%s\n' "$prefix" "$work/$l"; done
}

# What one file frees, and what is free with all eight; need is more than
# one file's removal gives and less than two.
head -c 102400 /dev/zero >"$work/probe"
with=$(free)
rm "$work/probe"
per=$(($(free) - with))
make_files
free0=$(free)
need=$((free0 + per + per / 2))
check 0 "$(lines -d f7 f6)$nl" "$(lines "f8 0 0" "f7 1 0" "f6 1 0" "f5 1 1" "f8 0 1")$nl" -v -S "$need" $(files)
[ "$(ls "$work" | grep -c '^f')" = 6 ] || fail "real run: $(ls "$work")"

# Enough from the start: both phases stop at the first probe. Exactly what
# is free is not more than that.
make_files
check 0 "" "$(lines "f8 0 1" "f8 0 1")$nl" -S $((free0 - 1)) $(files)
check 0 "$(lines f1 f2 f3 f4 f5 f6 f7 f8)$nl" "$(lines "f8 0 0" "f7 1 0" "f6 1 0" "f5 1 0" "f4 1 0" \
    "f3 1 0" "f2 1 0" "f1 1 0" "f8 0 0")$nl" -n -S "$free0" $(files)

# A dry run frees nothing: every candidate, then every kept entry, or with -K
# only the candidates; -F deletes every candidate without a probe.
check 0 "$(lines f1 f2 f3 f4 f5 f6 f7)$nl" "$(lines "f8 0 0" "f7 1 0" "f6 1 0" "f5 1 0" "f4 1 0" \
    "f3 1 0" "f2 1 0" "f1 1 0")$nl" -n -K -S "$need" $(files)
check 0 "" "$(lines "f8 0 0")$nl" -N -F -S "$need" $(files)
check 0 "$(lines f2 f3 f4 f5 f6 f7 f8)$nl" "$(lines "f8 0 0" "f7 1 0" "f6 1 0" "f5 1 0" "f4 1 0" \
    "f3 1 0" "f2 1 0" "f8 0 0")$nl" -n -Y -S "$need" $(files)

finish
