# Shared by the end-to-end scripts: a scratch folder, the check helper, the
# failure count and the groups. Every script is called as
#   SCRIPT [-g GROUP] BIN [TOOL...]
# where BIN is the agetrim binary and -g runs one group of its checks (the
# test suite registers each group as a test of its own); without -g it runs
# them all. A script ends with 0 when every check passed, 1 when one failed,
# and skip_status when it left a group out: one that needs a tool or a
# privilege that is missing here, which it names.

# Scripts that mount file systems set want_mounts=1 first: as root, where
# the system has mount namespaces (Linux), they then run again in a private
# one, so that nothing they mount is seen outside or outlives them.
# Elsewhere (FreeBSD) they mount in the open and unmount on the way out.
if [ "${want_mounts:-}" = 1 ] && [ "$(id -u)" = 0 ] && [ -z "${AGETRIM_PRIVATE_MOUNTS:-}" ] &&
    command -v unshare >/dev/null && unshare -m --propagation private true 2>/dev/null; then
    AGETRIM_PRIVATE_MOUNTS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
skip_status=77
only=
if [ "${1:-}" = -g ]; then
    only=$2
    shift 2
fi
bin=$1
treetool=${2:-}
shim=${3:-}
# The scripts change directory; a relative path would stop working.
case $bin in /*) ;; *) bin=$PWD/$bin ;; esac
case $treetool in /* | '') ;; *) treetool=$PWD/$treetool ;; esac
case $shim in /* | '') ;; *) shim=$PWD/$shim ;; esac
export TZ=UTC LC_ALL=C
nl='
'
failures=0
# A command that check runs agetrim under: env for the preload test, or
# valgrind when AGETRIM_WRAPPER says so (the suite's memcheck run).
read -r -a memcheck <<<"${AGETRIM_WRAPPER:-}"
wrapper=("${memcheck[@]}")
work=$(mktemp -d) || exit 1
chmod 755 "$work"
# What check captures lives apart from the scratch folder, whose free space
# some tests count.
out=$(mktemp -d) || exit 1
cleanup() { rm -rf "$work"; }
# Only the script itself cleans up: a forked child killed before it runs its
# command would otherwise run this trap too.
trap '[ "$BASHPID" = "$$" ] && { cleanup; rm -rf "$out"; }' EXIT
now=$(date +%s)

# set_time EPOCH FILE...: gives the files that modification time.
set_time() { "$treetool" touch "$@"; }
# utc_date EPOCH FORMAT: the time EPOCH formatted by strftime, in UTC.
utc_date() { "$treetool" date "$@"; }

# mounts_unavailable: why this run cannot mount file systems, or nothing
# when it can (it tries once).
mounts_unavailable() {
    if [ "$(id -u)" != 0 ]; then
        echo "needs root to mount file systems"
        return
    fi
    if [ -z "${mount_probe:-}" ]; then
        local dir
        dir=$(mktemp -d) || return
        if mount -t tmpfs -o size=1m tmpfs "$dir" 2>"$out/mount"; then
            umount "$dir"
            mount_probe=ok
        else
            mount_probe="mounting a tmpfs fails here: $(head -n 1 "$out/mount")"
        fi
        rmdir "$dir"
    fi
    [ "$mount_probe" = ok ] || echo "$mount_probe"
}

# mount_scratch SIZE: puts a tmpfs of SIZE on the scratch folder; false when
# that cannot be done (see mounts_unavailable).
mount_scratch() {
    [ -z "$(mounts_unavailable)" ] && mount -t tmpfs -o "size=$1" tmpfs "$work" || return 1
    chmod 755 "$work"
    cleanup() {
        umount -R "$work" 2>/dev/null || umount "$work"
        rm -rf "$work"
    }
}

# bind_mount [-r] SOURCE TARGET: SOURCE seen again at TARGET (read-only with
# -r): a bind mount on Linux, nullfs on the BSDs.
bind_mount() {
    local ro=
    [ "$1" = -r ] && ro=1 && shift
    if [ "$(uname)" = Linux ]; then
        mount --bind "$1" "$2" && { [ -z "$ro" ] || mount -o remount,ro,bind "$2"; }
    else
        mount -t nullfs ${ro:+-o ro} "$1" "$2"
    fi
}

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# group NAME: true when the checks of group NAME are to run.
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }

# skip GROUP WHY: says that GROUP is left out and why.
skipped=0
skip() {
    echo "SKIP: $1: $2"
    skipped=$((skipped + 1))
}

# check STATUS STDOUT STDERR ARGS...: run agetrim with ARGS and compare;
# false on a mismatch, so that a check run in a subshell (under a ulimit, say)
# can be counted with: ( ... && check ...) || failures=$((failures + 1)).
check() {
    local want_status=$1 want_out=$2 want_err=$3 status
    shift 3
    "${wrapper[@]}" "$bin" "$@" >"$out/out" 2>"$out/err"
    status=$?
    printf '%s' "$want_out" >"$out/want_out"
    printf '%s' "$want_err" >"$out/want_err"
    if [ "$status" != "$want_status" ] || ! cmp -s "$out/out" "$out/want_out" ||
        ! cmp -s "$out/err" "$out/want_err"; then
        fail "agetrim $*"
        echo "  status $status, wanted $want_status"
        diff "$out/want_out" "$out/out" | sed 's/^/  stdout: /'
        diff "$out/want_err" "$out/err" | sed 's/^/  stderr: /'
        return 1
    fi
}

# finish: the script's verdict.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    if [ "$skipped" -ne 0 ]; then
        echo "all checks run passed; $skipped group(s) skipped"
        exit $skip_status
    fi
    echo "all checks passed"
    exit 0
}
