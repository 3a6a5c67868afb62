# Shared by the end-to-end scripts: a scratch folder, the check helper and
# a failure count. Source it with the agetrim binary as $1.

# Scripts that mount file systems set want_mounts=1 first: as root they then
# run again in a private mount namespace, so that nothing they mount is seen
# outside or outlives them.
if [ "${want_mounts:-}" = 1 ] && [ "$(id -u)" = 0 ] && [ -z "${AGETRIM_PRIVATE_MOUNTS:-}" ] &&
    command -v unshare >/dev/null; then
    AGETRIM_PRIVATE_MOUNTS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
bin=$1
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

# mount_scratch SIZE: puts a tmpfs of SIZE on the scratch folder; false when
# that cannot be done (not root).
mount_scratch() {
    [ -n "${AGETRIM_PRIVATE_MOUNTS:-}" ] && mount -t tmpfs -o "size=$1" agetrim-test "$work" || return 1
    chmod 755 "$work"
    cleanup() {
        umount -R "$work"
        rm -rf "$work"
    }
}

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
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
    echo "all checks passed"
    exit 0
}
