# Shared by the end-to-end scripts: a scratch folder, the check helper and
# a failure count. Source it with the agetrim binary as $1.
bin=$1
export TZ=UTC LC_ALL=C
nl='
'
failures=0
wrapper=() # a command that check runs agetrim under, such as env
work=$(mktemp -d) || exit 1
chmod 755 "$work"
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
now=$(date +%s)

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# check STATUS STDOUT STDERR ARGS...: run agetrim with ARGS and compare.
check() {
    local want_status=$1 want_out=$2 want_err=$3 status
    shift 3
    "${wrapper[@]}" "$bin" "$@" >"$work/out" 2>"$work/err"
    status=$?
    printf '%s' "$want_out" >"$work/want_out"
    printf '%s' "$want_err" >"$work/want_err"
    if [ "$status" != "$want_status" ] || ! cmp -s "$work/out" "$work/want_out" ||
        ! cmp -s "$work/err" "$work/want_err"; then
        fail "agetrim $*"
        echo "  status $status, wanted $want_status"
        diff "$work/want_out" "$work/out" | sed 's/^/  stdout: /'
        diff "$work/want_err" "$work/err" | sed 's/^/  stderr: /'
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
