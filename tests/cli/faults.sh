#!/bin/bash
# Faults from below: a read-only file system, an immutable file, I/O errors
# injected with strace, no free descriptors and no memory (one group each:
# readonly, immutable, inject, descriptors, memory). Each must end with
# its message and status (never 0, never a signal), and nothing may be
# removed after the failure.
set -u
want_mounts=1
. "$(dirname "$0")/lib.sh"
# In a sanitized build, LeakSanitizer cannot work under strace or without a
# free descriptor; leaks are checked by the rest of the suite.
export ASAN_OPTIONS=detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}

# expect STATUS STDERR TREE... -- ARGS...: run agetrim and check that it
# failed as expected and that every TREE is still there.
expect() {
    local want_status=$1 want_err=$2 trees=() status
    shift 2
    while [ "$1" != -- ]; do trees+=("$1"); shift; done
    shift
    "$@" >"$out/out" 2>"$out/err"
    status=$?
    if [ "$status" != "$want_status" ] || [ "$(cat "$out/err")" != "$want_err" ]; then
        fail "${*:1:6}: status $status, wanted $want_status; stderr: $(head -c 300 "$out/err")"
    fi
    for t in "${trees[@]}"; do
        [ -e "$t" ] || fail "${*:1:6}: $t was removed"
    done
}

# tree NAME: a directory with a file and a subdirectory, made a candidate.
tree() {
    mkdir -p "$1/sub" && : >"$1/file" >"$1/sub/file"
    touch -d "@$((now - 3600))" "$1"
}
keep=$work/keep
: >"$keep"
touch -d "@$((now - 7200))" "$keep"
# later is deleted after tree (it is newer): a failure on tree must spare it.
later=$work/later
tree "$work/later"
touch -d "@$((now - 1800))" "$later"

# I/O errors reading a directory, removing, and measuring free space.
if ! group inject; then
    :
elif ! command -v strace >/dev/null; then
    skip inject "needs strace to inject I/O errors"
elif ! strace -o /dev/null true 2>/dev/null; then
    skip inject "strace cannot trace processes here"
else
    inject() { strace -f -o /dev/null -P "$work/t" -e inject="$1" "$bin" "${@:2}"; }
    tree "$work/t"
    expect 3 "$bin: nftw($work/t): Input/output error" "$work/t/file" "$later/file" -- \
        inject getdents64:error=EIO "$later" "$work/t" "$keep"
    expect 3 "$bin: remove($work/t/file): Input/output error" "$work/t/file" "$later/file" -- \
        strace -f -o /dev/null -e inject=unlinkat:error=EIO "$bin" "$later" "$work/t" "$keep"
    expect 3 "$bin: statsvfs($work/t): Input/output error" "$work/t" -- \
        inject statfs:error=EIO -S 1k "$work/t"
    expect 3 "$bin: stat($work/t): Input/output error" "$work/t" -- \
        inject newfstatat,statx:error=EIO "$work/t" "$keep"
fi

# No descriptor left for a subdirectory: standard input, output and error,
# the operand's parent and the operand fill a table of five.
if group descriptors; then
    tree "$work/t"
    expect 3 "$bin: nftw($work/t): Too many open files" "$work/t/sub/file" "$later/file" -- \
        bash -c 'ulimit -n 5 && exec "$@" 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&-' - \
        "$bin" "$later" "$work/t" "$keep"
fi

# No memory: a date five million years back needs a uniform schedule of
# billions of days. A sanitized build cannot start under an address-space
# limit, so that build skips the case.
if ! group memory; then
    :
elif (ulimit -v 60000 && "$bin" -p -c 1 >/dev/null 2>&1); then
    expect 2 "$bin: Out of memory" -- bash -c 'ulimit -v 60000 && exec "$@"' - \
        "$bin" -d -n -- -5000000-01-01
else
    skip memory "this build cannot start under an address-space limit (sanitizers reserve more)"
fi

# A read-only file system: a read-only bind mount over a tree.
why=$(mounts_unavailable)
if ! group readonly; then
    :
elif [ -n "$why" ]; then
    skip readonly "$why"
else
    tree "$work/ro"
    mount --bind "$work/ro" "$work/ro" && mount -o remount,ro,bind "$work/ro"
    expect 3 "$bin: remove($work/ro/file): Read-only file system" "$work/ro/file" "$later/file" -- \
        "$bin" "$later" "$work/ro" "$keep"
    umount "$work/ro"
fi

# An immutable file, where the file system of the temporary folder knows
# the attribute (tmpfs does not, ext4 does).
if group immutable; then
    disk=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
    mkdir -p "$disk/imm"
    : >"$disk/imm/locked"
    if ! command -v chattr >/dev/null; then
        skip immutable "needs chattr to make a file immutable"
    elif ! chattr +i "$disk/imm/locked" 2>/dev/null; then
        skip immutable "the file system of ${TMPDIR:-/var/tmp} has no immutable files, or not for this user"
    else
        touch -d "@$((now - 3600))" "$disk/imm"
        expect 3 "$bin: remove($disk/imm/locked): Operation not permitted" "$disk/imm/locked" \
            "$later/file" -- "$bin" "$later" "$disk/imm" "$keep"
        chattr -i "$disk/imm/locked"
    fi
    rm -rf "$disk"
fi

finish
