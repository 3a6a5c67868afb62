#!/bin/bash
# Runs every command example of the README and of the manual page and
# compares what it prints with what the document shows, so that the
# documents cannot drift from the program. An example is a block (fenced in
# the README, .Bd -literal in the manual, or a single .Dl line) whose lines
# starting with "$ " are commands; the lines after a command, up to the
# next one, are what it prints on standard output and standard error.
# A crontab line of either document runs too, and must print nothing: what
# it prints, cron mails.
# Every block starts from the same made-up data, on a clock stopped at
# 2026-12-11 12:00 UTC: daily backup directories /backup/daily/2026-11-02
# to 2026-12-11 (made at 03:00, with a link latest to the newest) and
# nightly dumps /var/backups/db-YYYYMMDD.sql.gz from 2026-10-13 on.
set -u
. "$(dirname "$0")/cli/lib.sh"
source=$(cd "$(dirname "$0")/.." && pwd)
today=1796990400
sandbox=$work/sandbox

# fixture: the made-up data, afresh.
fixture() {
    rm -rf "$sandbox"
    mkdir -p "$sandbox/backup/daily" "$sandbox/var/backups" "$sandbox/build" "$sandbox/bin"
    local d t
    for d in $(seq 0 39); do
        t=$((today - 9 * 3600 - d * 86400))
        dir=$sandbox/backup/daily/$(utc_date "$t" %Y-%m-%d)
        mkdir "$dir" && echo data >"$dir/data" && set_time "$t" "$dir"
    done
    ln -s "$(utc_date $((today - 9 * 3600)) %Y-%m-%d)" "$sandbox/backup/daily/latest"
    for d in $(seq 0 59); do
        t=$((today - 10 * 3600 - d * 86400))
        set_time "$t" "$sandbox/var/backups/db-$(utc_date "$t" %Y%m%d).sql.gz"
    done
    ln -s "$bin" "$sandbox/bin/agetrim"
    ln -s "$bin" "$sandbox/build/agetrim"
    ln -s "$source/examples" "$sandbox/examples"
}

# examples FILE KIND: the lines of a document's examples as "LINE<TAB>TEXT",
# each block ended by "end<TAB>LINE" with the line it starts at; KIND is md
# or man.
examples() {
    awk -v kind="$2" '
        function unescape(s) {
            if (kind == "man") { gsub(/\\-/, "-", s); gsub(/\\&/, "", s); gsub(/\\e/, "\\", s) }
            return s
        }
        function flush() {
            if (has_command) { for (i = 1; i <= n; i++) print lines[i]; print "end\t" start }
            n = 0; has_command = 0; inside = 0
        }
        kind == "md" && /^```/ { if (inside) flush(); else { inside = 1; start = NR }; next }
        kind == "man" && /^\.Bd -literal/ { inside = 1; start = NR; next }
        kind == "man" && /^\.Ed/ { flush(); next }
        kind == "man" && /^\.Dl \$ / {
            start = NR; n = 1; lines[1] = NR "\t" unescape(substr($0, 5)); has_command = 1; flush(); next
        }
        inside { lines[++n] = NR "\t" unescape($0); if ($0 ~ /^\$ /) has_command = 1 }
    ' "$1"
}

# run_block FILE LINE: runs the block in the commands file and compares.
run_block() {
    local doc=$1 line=$2 n=0 script=$out/script want=$out/want got=$out/got
    : >"$script" && : >"$want"
    while IFS= read -r text; do
        case $text in
        '$ '*)
            n=$((n + 1))
            printf 'echo "@@ %d"\n%s\n' "$n" "${text#\$ }" >>"$script"
            echo "@@ $n" >>"$want"
            ;;
        *) printf '%s\n' "$text" >>"$want" ;;
        esac
    done <"$out/block"
    # The documents name /backup and /var/backups; the examples run on the
    # made-up ones.
    sed -E "s#(^|[[:space:]\"'=(])/(backup|var/backups)#\\1$sandbox/\\2#g" "$script" >"$script.run"
    fixture
    (cd "$sandbox" && env PATH="$sandbox/bin:$PATH" FAKE_NOW=$today LD_PRELOAD="$shim" \
        ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS} \
        bash "$script.run" 2>&1) | sed "s#$sandbox##g" >"$got"
    if ! cmp -s "$want" "$got"; then
        fail "$doc, the example at line $line"
        diff "$want" "$got" | sed 's/^/  /'
    fi
    blocks=$((blocks + 1))
}

blocks=0
for doc in README.md man/agetrim.1; do
    kind=md
    [ "$doc" = man/agetrim.1 ] && kind=man
    : >"$out/block"
    while IFS=$'\t' read -r first text; do
        if [ "$first" = end ]; then
            run_block "$doc" "$text"
            : >"$out/block"
        else
            printf '%s\n' "$text" >>"$out/block"
        fi
    done < <(examples "$source/$doc" "$kind")
done
# The crontab lines, as the package installs the program.
while IFS= read -r entry; do
    printf '$ %s\n' "$(sed -E 's#^([^ ]+ ){5}##; s#/usr/bin/agetrim#agetrim#' <<<"$entry")" >"$out/block"
    run_block crontab "$entry"
done < <(cat "$source/README.md" "$source/man/agetrim.1" | sed 's/\\e/\\/g' |
    grep -E '^ *[0-9*]+ [0-9*]+ [0-9*]+ [0-9*]+ [0-9*]+ /' | sed 's/^ *//')

# The systemd service and the periodic(8) script run their policy: thirty
# backups stay, and the link.
left() { ls "$sandbox/backup/daily" | wc -l | tr -d ' '; }
service=$(sed -n "s#^ExecStart=/bin/sh -c '\(.*\)'\$#\1#p" "$source/examples/systemd/agetrim.service")
fixture
(cd "$sandbox" && env FAKE_NOW=$today LD_PRELOAD="$shim" \
    ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS} \
    sh -c "$(sed "s#/usr/bin/agetrim#$bin#; s#/backup#$sandbox/backup#" <<<"$service")") >"$out/got" 2>&1
status=$?
[ "$status" = 0 ] && [ ! -s "$out/got" ] && [ "$(left)" = 31 ] ||
    fail "the systemd service: status $status, $(left) left, $(head -c 300 "$out/got")"
fixture
env FAKE_NOW=$today LD_PRELOAD="$shim" ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS} \
    daily_agetrim_enable=YES daily_agetrim_dir="$sandbox/backup/daily" daily_agetrim_program="$bin" \
    sh "$source/examples/freebsd/500.agetrim" >"$out/got" 2>&1
status=$?
[ "$status" = 1 ] && [ "$(grep -c '^Deleted ' "$out/got")" = 10 ] && [ "$(left)" = 31 ] ||
    fail "the periodic script: status $status, $(left) left, $(head -c 300 "$out/got")"
blocks=$((blocks + 2))

echo "$blocks examples run"
[ "$blocks" -gt 0 ] || fail "no examples found"
finish
