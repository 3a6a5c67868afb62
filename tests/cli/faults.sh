#!/bin/bash
# Faults from below: a read-only file system, an immutable file, I/O errors
# injected by the preload shim, no free descriptors and no memory (one group
# each: readonly, immutable, inject, descriptors, memory). Each must end
# with its message and status (never 0, never a signal), and nothing may be
# removed after the failure.
set -u
want_mounts=1
. "$(dirname "$0")/lib.sh"
# In a sanitized build, LeakSanitizer cannot work without a free
# descriptor; leaks are checked by the rest of the suite.
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
    set_time "$((now - 3600))" "$1"
}
keep=$work/keep
: >"$keep"
set_time "$((now - 7200))" "$keep"
# later is deleted after tree (it is newer): a failure on tree must spare it.
later=$work/later
tree "$work/later"
set_time "$((now - 1800))" "$later"

# I/O errors reading a directory, removing, examining an operand and
# measuring free space: later is spared each time.
if group inject; then
    inject() {
        env ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS} \
            LD_PRELOAD="$shim" FAIL_CALL="$1" "$bin" "${@:2}"
    }
    tree "$work/t"
    mkdir "$work/flat" && : >"$work/flat/file" && set_time "$((now - 3600))" "$work/flat"
    expect 3 "$bin: nftw($work/t): Input/output error" "$work/t/file" "$later/file" -- \
        inject readdir "$later" "$work/t" "$keep"
    expect 3 "$bin: remove($work/flat/file): Input/output error" "$work/flat/file" "$later/file" -- \
        inject unlinkat "$later" "$work/flat" "$keep"
    expect 3 "$bin: statsvfs($work/t): Input/output error" "$work/t" -- \
        inject statvfs -S 1k "$work/t"
    expect 3 "$bin: stat($work/t): Input/output error" "$work/t" -- \
        inject stat "$work/t" "$keep"
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
    # The tree seen again read-only at ro, which is then its root.
    tree "$work/rosource"
    mkdir "$work/ro"
    bind_mount -r "$work/rosource" "$work/ro"
    expect 3 "$bin: remove($work/ro/file): Read-only file system" "$work/ro/file" "$later/file" -- \
        "$bin" "$later" "$work/ro" "$keep"
    umount "$work/ro"
fi

# An immutable file, where the file system of the temporary folder keeps
# the flag (tmpfs does not; ext4, UFS and ZFS do).
if group immutable; then
    disk=$(mktemp -d "${TMPDIR:-/var/tmp}/agetrim-faults.XXXXXX")
    mkdir -p "$disk/imm"
    : >"$disk/imm/locked"
    if ! "$treetool" immutable on "$disk/imm/locked" 2>"$out/imm"; then
        skip immutable "no immutable file in ${TMPDIR:-/var/tmp}: $(cat "$out/imm")"
    else
        set_time "$((now - 3600))" "$disk/imm"
        expect 3 "$bin: remove($disk/imm/locked): Operation not permitted" "$disk/imm/locked" \
            "$later/file" -- "$bin" "$later" "$disk/imm" "$keep"
        "$treetool" immutable off "$disk/imm/locked"
    fi
    rm -rf "$disk"
fi

finish
