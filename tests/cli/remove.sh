#!/bin/bash
# End-to-end removal: real trees, links, failures, depth, races and mounts.
# Groups: trees, race, mounts, hostile, hostile_race. Where it can mount, the script runs on a
# tmpfs of its own in a private mount namespace; otherwise in a temporary
# folder, with smaller trees.
set -u
want_mounts=1
. "$(dirname "$0")/lib.sh"
depth=5000
races=40
if mount_scratch 512m; then
    depth=100000
    races=120
fi
# Under valgrind everything is some 50 times slower.
[ ${#memcheck[@]} -gt 0 ] && depth=3000 races=20

# A kept entry an hour older than every operand, so that each operand is a
# delete candidate: all fall into the first day, which keeps the oldest.
keep=$work/keep
: >"$keep"
set_time "$((now - 7200))" "$keep"
candidate() { set_time "$((now - 3600))" "$@"; }
# What no removal may ever reach.
mkdir "$work/outside" && : >"$work/outside/precious"

# listing DIR: every path below DIR, sorted.
listing() { (cd "$1" && find . | LC_ALL=C sort | tr '\n' ' '); }
# as_user COMMAND...: runs COMMAND as nobody when root, else as it is.
as_user() {
    if [ "$(id -u)" = 0 ]; then
        "$treetool" as 65534 65534 "$@"
    else
        "$@"
    fi
}
# wait_for_racer: waits until the racer in the background says it runs;
# false, and a failure, when it ended instead.
wait_for_racer() {
    while [ ! -s "$out/racer" ]; do
        if ! kill -0 "$racer" 2>/dev/null; then
            fail "the racer did not start"
            return 1
        fi
        sleep 0.001
    done
}
# Other users must be able to run the programs under test.
if [ "$(id -u)" = 0 ] && ! "$treetool" as 65534 65534 "$bin" -p -c 1 >/dev/null 2>&1; then
    fail "nobody cannot run $bin: a directory on its way is closed to other users"
fi
# shim VARIABLE=VALUE...: the check command runs under the preload shim.
shim() { wrapper=(env ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD="$shim" "$@" "${memcheck[@]}"); }
noshim() { wrapper=("${memcheck[@]}"); }

if group trees; then
    # A tree with awkward names and a link out of it goes entirely; the link's
    # target stays.
    t=$work/tree
    mkdir -p "$t/a/b" "$t/with space" "$t/-dash" "$t/new${nl}line"
    long=$(printf 'x%.0s' $(seq 255))
    : >"$t/a/b/file" >"$t/with space/f" >"$t/-dash/-f" >"$t/new${nl}line/f" >"$t/a/$long"
    ln -s "$work/outside" "$t/a/b/link"
    ln -s "$work/outside/precious" "$t/filelink"
    candidate "$t"
    check 0 "Deleted $t$nl" "" -v "$t" "$keep"
    [ -e "$t" ] && fail "tree left behind"
    [ "$(listing "$work/outside")" = ". ./precious " ] || fail "outside of the tree changed"

    # A link operand goes as a link: the directory it points to stays.
    mkdir "$work/target" && : >"$work/target/f" && ln -s "$work/target" "$work/link"
    candidate "$work/target"
    check 0 "" "" "$work/link" "$keep"
    [ -L "$work/link" ] && fail "link operand left behind"
    [ -e "$work/target/f" ] || fail "link operand's target removed"

    # The same path twice: the second has vanished when its turn comes.
    mkdir -p "$work/twice/sub"
    candidate "$work/twice"
    check 3 "Deleted $work/twice$nl" "$bin: nftw($work/twice): No such file or directory$nl" \
        -v "$work/twice" "$work/twice" "$keep"

    # A dry run with -v removes nothing and says nothing of deletions.
    mkdir "$work/dry" && candidate "$work/dry"
    check 0 "$work/dry$nl" "" -n -v "$work/dry" "$keep"
    [ -d "$work/dry" ] || fail "dry run removed its operand"
    rmdir "$work/dry"

    # Directories deeper than the descriptor budget, with siblings at every level,
    # within a descriptor limit of 20.
    mkdir "$work/wide" && "$treetool" deep "$work/wide" 150 3 && candidate "$work/wide"
    (ulimit -n 20 && check 0 "" "" "$work/wide" "$keep") || failures=$((failures + 1))
    [ -e "$work/wide" ] && fail "the 150-level tree was not removed"
    mkdir "$work/deep" && "$treetool" deep "$work/deep" "$depth" 0 && candidate "$work/deep"
    (ulimit -n 20 && check 0 "" "" "$work/deep" "$keep") || failures=$((failures + 1))
    [ -e "$work/deep" ] && fail "the $depth-level tree was not removed"

    # Permissions, as an unprivileged user: an unreadable empty directory goes,
    # a non-empty one stops the run, and so does a file in a locked directory;
    # an operand in a directory that can be written and searched but not read
    # goes, as with rm.
    p=$work/perm
    mkdir -p "$p/unreadable" "$p/full/sub" "$p/wx/x/sub" && : >"$p/full/sub/f" >"$p/wx/x/sub/f"
    candidate "$p/unreadable" "$p/full" "$p/wx/x"
    chmod 333 "$p/unreadable" "$p/full/sub" "$p/wx"
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$p" "$keep"
    as_user "$bin" "$p/unreadable" "$keep" >"$out/out" 2>&1 || fail "unreadable empty directory: $(cat "$out/out")"
    [ -e "$p/unreadable" ] && fail "unreadable empty directory left behind"
    as_user "$bin" "$p/wx/x" "$keep" >"$out/out" 2>&1 || fail "write-and-search-only parent: $(cat "$out/out")"
    [ -e "$p/wx/x" ] && fail "operand in a write-and-search-only directory left behind"
    as_user "$bin" "$p/full" "$keep" >"$out/out" 2>"$out/err"
    status=$?
    [ "$status" = 3 ] && [ "$(cat "$out/err")" = "$bin: remove($p/full/sub): Directory not empty" ] ||
        fail "unreadable directory: status $status, $(cat "$out/err")"
    chmod 755 "$p/full/sub" "$p/full"
    mkdir "$p/locked" && : >"$p/locked/f" && chmod 555 "$p/locked"
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$p"
    candidate "$p/locked"
    as_user "$bin" -v "$p/locked" "$keep" >"$out/out" 2>"$out/err"
    status=$?
    [ "$status" = 3 ] && [ ! -s "$out/out" ] &&
        [ "$(cat "$out/err")" = "$bin: remove($p/locked/f): Permission denied" ] ||
        fail "locked directory: status $status, $(cat "$out/err")"
    chmod -R 755 "$p"
    [ "$(id -u)" = 0 ] && chown root:root "$keep"

    # A subdirectory swapped for a link to the outside while the walk is inside
    # it: the walk keeps to what it opened and fails when it comes back up.
    mkdir -p "$work/swap/sub" && : >"$work/swap/sub/f1" >"$work/swap/sub/precious"
    candidate "$work/swap"
    shim SWAP_DIR="$work/swap/sub" SWAP_TARGET="$work/outside"
    check 3 "" "$bin: remove($work/swap/sub): Not a directory$nl" "$work/swap" "$keep"
    noshim
    [ "$(listing "$work/outside")" = ". ./precious " ] || fail "the swap reached outside the tree"
    [ "$(listing "$work/swap")" = ". ./sub ./sub.moved " ] || fail "swap: $(listing "$work/swap")"
    rm -rf "$work/swap"

    # A subdirectory replaced by another directory between its examination
    # and its opening: neither is entered.
    mkdir -p "$work/swap/sub" && : >"$work/swap/sub/f"
    candidate "$work/swap"
    shim SWAP_AT=openat SWAP_DIR="$work/swap/sub" SWAP_TARGET=
    check 3 "" "$bin: remove($work/swap/sub): Directory replaced during removal$nl" "$work/swap" "$keep"
    noshim
    [ "$(listing "$work/swap")" = ". ./sub ./sub.moved ./sub.moved/f " ] || fail "replaced: $(listing "$work/swap")"
    rm -rf "$work/swap"

    # An operand that is never removed stops a deleting run before its first
    # deletion.
    mkdir "$work/old" && candidate "$work/old"
    (cd "$work" && check 3 "" "$bin: remove(.): Invalid argument$nl" -v old "$keep" .) ||
        failures=$((failures + 1))
    [ -d "$work/old" ] || fail "an entry was deleted before the run refused ."
    rmdir "$work/old"

    # Every deletion is logged before the next one starts: a run stopped by
    # SIGTERM at its fourth removal has logged the three before.
    mkdir "$work/log" && : >"$work/log/1" >"$work/log/2" >"$work/log/3" >"$work/log/4" >"$work/log/5"
    candidate "$work"/log/?
    shim KILL_AT=4
    # The subshell keeps the shell's own word on the signal out of the log.
    ("${wrapper[@]}" "$bin" -v "$work"/log/? "$keep" >"$out/log" 2>&1) 2>/dev/null
    noshim
    [ "$(ls "$work/log" | wc -l)" = 2 ] && [ "$(grep -c '^Deleted ' "$out/log")" = 3 ] ||
        fail "log of a stopped run: $(ls "$work/log" | tr '\n' ' '); $(cat "$out/log")"
    rm -rf "$work/log"
fi

# Attacks from above the operand, by a user who owns a directory on the way
# while root runs agetrim: alice (nobody) owns h/alice and everything in it;
# victim (root's) holds what a redirected removal would reach.
hostile_tree() {
    h=$work/hostile
    rm -rf "$h" "$work/victim"
    mkdir -p "$h/alice/daily/etc/sub" "$h/alice/a/b/etc" "$work/victim/etc" "$work/victim/b/etc"
    : >"$h/alice/daily/etc/sub/f" >"$work/victim/etc/f" >"$work/victim/b/etc/f"
    candidate "$h/alice/daily/etc" "$h/alice/a/b/etc" "$work/victim/etc" "$work/victim/b/etc"
    chown -R 65534:65534 "$h/alice"
}
victim_intact() { [ "$(listing "$work/victim")" = ". ./b ./b/etc ./b/etc/f ./etc ./etc/f " ]; }
refused() { printf "%s: remove(%s): Operation not permitted\n" "$bin" "$1"; }
why=
[ "$(id -u)" = 0 ] || why="needs root to run agetrim as root against another user"
if ! group hostile; then
    :
elif [ -n "$why" ]; then
    skip hostile "$why"
else
    # The operand's parent, then its grandparent, swapped for alice's link
    # to the victim once the entry list is made.
    hostile_tree
    shim SWAP_AT=openat SWAP_DIR="$h/alice/daily" SWAP_TARGET="$work/victim" SWAP_OWNER=65534:65534
    check 3 "" "$(refused "$h/alice/daily/etc")$nl" "$h/alice/daily/etc" "$keep"
    shim SWAP_AT=openat SWAP_DIR="$h/alice/a" SWAP_TARGET="$work/victim" SWAP_OWNER=65534:65534
    check 3 "" "$(refused "$h/alice/a/b/etc")$nl" "$h/alice/a/b/etc" "$keep"
    noshim
    victim_intact || fail "a swapped ancestor led outside: $(listing "$work/victim")"

    # Root's own link moved into alice's directory, and alice's link with an
    # absolute target: both would let alice choose where it leads.
    hostile_tree
    ln -s "$work/victim" "$h/alice/rootlink"
    ln -s "$h/alice/daily" "$h/alice/absolute" && chown -h 65534:65534 "$h/alice/absolute"
    check 3 "" "$(refused "$h/alice/rootlink/etc")$nl" "$h/alice/rootlink/etc" "$keep"
    check 3 "" "$(refused "$h/alice/absolute/etc")$nl" "$h/alice/absolute/etc" "$keep"
    victim_intact || fail "a link in alice's directory led outside: $(listing "$work/victim")"

    # Alice's relative link inside her tree and root's link to her tree are
    # followed.
    ln -s daily "$h/alice/current" && chown -h 65534:65534 "$h/alice/current"
    ln -s "$h/alice" "$work/admin"
    check 0 "Deleted $h/alice/current/etc$nl" "" -v "$h/alice/current/etc" "$keep"
    check 0 "Deleted $work/admin/a/b/etc$nl" "" -v "$work/admin/a/b/etc" "$keep"
    [ -e "$h/alice/daily/etc" ] || [ -e "$h/alice/a/b/etc" ] && fail "followed links: $(listing "$h")"
    rm -f "$work/admin"
fi

# Alice exchanging her directory above the operand with her link to the
# victim, over and over, while root prunes: the removal never escapes.
trials=500
[ ${#memcheck[@]} -gt 0 ] && trials=20
if ! group hostile_race; then
    :
elif [ -n "$why" ]; then
    skip hostile_race "$why"
else
    escapes=0 removed=0
    for run in $(seq "$trials"); do
        hostile_tree
        ln -s "$work/victim" "$h/alice/evil" && chown -h 65534:65534 "$h/alice/evil"
        rm -f "$out/racer"
        "$treetool" as 65534 65534 "$treetool" exchange "$h/alice/daily" "$h/alice/evil" >"$out/racer" &
        racer=$!
        wait_for_racer || break
        "${wrapper[@]}" "$bin" "$h/alice/daily/etc" "$keep" >/dev/null 2>&1 && removed=$((removed + 1))
        kill "$racer"
        wait "$racer" 2>/dev/null
        victim_intact || escapes=$((escapes + 1))
    done
    echo "exchange race: $trials trials, $removed removals, $escapes escapes"
    [ "$escapes" = 0 ] || fail "the removal escaped in $escapes of $trials trials"
fi

# Another process exchanging a subdirectory and a link to the outside over
# and over (atomically where the system can): nothing outside is ever
# removed, whatever each run ends with.
if group race; then
    for run in $(seq "$races"); do
        mkdir -p "$work/race/sub/inner"
        : >"$work/race/sub/f" >"$work/race/sub/inner/g"
        ln -s "$work/outside" "$work/race/link"
        candidate "$work/race"
        rm -f "$out/racer"
        "$treetool" exchange "$work/race/sub" "$work/race/link" >"$out/racer" &
        racer=$!
        # The racer says when it runs; agetrim starts only then.
        wait_for_racer || break
        "${wrapper[@]}" "$bin" "$work/race" "$keep" >/dev/null 2>&1
        kill "$racer"
        wait "$racer" 2>/dev/null
        rm -rf "$work/race"
    done
    [ "$(listing "$work/outside")" = ". ./precious " ] || fail "the exchange race reached outside the tree"
fi

# Mounts inside the tree are neither entered nor removed, and the tree's
# own removal then fails.
why=$(mounts_unavailable)
if ! group mounts; then
    :
elif [ -n "$why" ]; then
    skip mounts "$why"
else
    m=$work/mounts
    mkdir -p "$m/tree/tmpfs" "$m/tree/bind" "$m/tree/plain"
    mount -t tmpfs tmpfs "$m/tree/tmpfs" && : >"$m/tree/tmpfs/f"
    bind_mount "$work/outside" "$m/tree/bind"
    candidate "$m/tree"
    check 3 "" "$bin: remove($m/tree): Directory not empty$nl" "$m/tree" "$keep"
    [ "$(listing "$m/tree")" = ". ./bind ./bind/precious ./tmpfs ./tmpfs/f " ] ||
        fail "mounts: $(listing "$m/tree")"
    umount "$m/tree/tmpfs" "$m/tree/bind"
fi

finish
