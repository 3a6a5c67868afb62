#!/bin/bash
# Runs the whole suite of a build with the tools that FreeBSD lacks out of
# reach, to show that the suite does not depend on them: touch -d @N,
# date -d and stat -c refuse (GNU only), and unshare, setpriv, strace and
# chattr (Linux only) are gone. Fails when a test fails or when a skipped
# test does not say why.
# Usage: tests/without_gnu.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
ctest=$(command -v ctest)
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT

hidden=" unshare setpriv strace chattr touch date stat "
IFS=: read -r -a dirs <<<"$PATH"
for dir in "${dirs[@]}"; do
    for tool in "$dir"/*; do
        name=${tool##*/}
        [ -x "$tool" ] && [ ! -e "$fake/$name" ] && [[ $hidden != *" $name "* ]] &&
            ln -s "$tool" "$fake/$name"
    done
done

# refusing NAME PATTERN: a NAME that fails when an argument matches PATTERN
# and otherwise runs the real one.
refusing() {
    local real
    real=$(command -v "$1")
    cat >"$fake/$1" <<END
#!/bin/sh
for argument; do
    case \$argument in
    $2) echo "$1: \$argument: not on FreeBSD" >&2; exit 64 ;;
    esac
done
exec $real "\$@"
END
    chmod +x "$fake/$1"
}
refusing touch '-d|--date*|@*'
refusing date '-d|--date*'
refusing stat '-c|--format*|--printf*'

PATH=$fake "$ctest" --test-dir "$build" --output-on-failure -j2 >"$build/without_gnu.log" 2>&1
status=$?
tail -n 3 "$build/without_gnu.log"
# Every skipped test says why, in a line of its own output, which ctest
# keeps in its log.
skips=$(grep -c '(Skipped)' "$build/without_gnu.log")
reasons=$(grep -h '^SKIP: ' "$build/Testing/Temporary/LastTest.log" | sort -u)
echo "$skips test(s) skipped${reasons:+; why:}"
[ -z "$reasons" ] || echo "$reasons" | sed 's/^/  /'
if [ "$(printf '%s' "$reasons" | grep -c '^SKIP: ')" -lt "$skips" ]; then
    echo "a skipped test did not say why"
    status=1
fi
exit $status
