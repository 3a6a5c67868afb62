#!/bin/bash
# End-to-end removal: real trees, links, failures, depth, races and mounts.
# Groups: trees, race, mounts. Where it can mount, the script runs on a
# tmpfs of its own in a private mount namespace; otherwise in a temporary
# folder, with smaller trees.
set -u
want_mounts=1
. "$(dirname "$0")/lib.sh"
treetool=$2
shim=$3
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
touch -d "@$((now - 7200))" "$keep"
candidate() { touch -d "@$((now - 3600))" "$@"; }
# What no removal may ever reach.
mkdir "$work/outside" && : >"$work/outside/precious"

# listing DIR: every path below DIR, sorted.
listing() { (cd "$1" && find . | LC_ALL=C sort | tr '\n' ' '); }

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
    # a non-empty one stops the run, and so does a file in a locked directory.
    as_user() {
        if [ "$(id -u)" = 0 ]; then
            setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
        else
            "$@"
        fi
    }
    p=$work/perm
    mkdir -p "$p/unreadable" "$p/full/sub" && : >"$p/full/sub/f"
    chmod 333 "$p/unreadable" "$p/full/sub"
    candidate "$p/unreadable" "$p/full"
    [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$p" "$keep"
    as_user "$bin" "$p/unreadable" "$keep" >"$out/out" 2>&1 || fail "unreadable empty directory: $(cat "$out/out")"
    [ -e "$p/unreadable" ] && fail "unreadable empty directory left behind"
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
    wrapper=(env ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD="$shim"
        SWAP_DIR="$work/swap/sub" SWAP_TARGET="$work/outside" "${memcheck[@]}")
    check 3 "" "$bin: remove($work/swap/sub): Not a directory$nl" "$work/swap" "$keep"
    wrapper=("${memcheck[@]}")
    [ "$(listing "$work/outside")" = ". ./precious " ] || fail "the swap reached outside the tree"
    [ "$(listing "$work/swap")" = ". ./sub ./sub.moved " ] || fail "swap: $(listing "$work/swap")"
    rm -rf "$work/swap"
fi

# Another process exchanging a subdirectory and a link to the outside over
# and over: nothing outside is ever removed, whatever each run ends with.
if ! group race; then
    :
elif ! "$treetool" can-exchange; then
    skip race "no atomic exchange of two names here (renameat2 RENAME_EXCHANGE)"
else
    for run in $(seq "$races"); do
        mkdir -p "$work/race/sub/inner"
        : >"$work/race/sub/f" >"$work/race/sub/inner/g"
        ln -s "$work/outside" "$work/race/link"
        candidate "$work/race"
        rm -f "$out/racer"
        "$treetool" exchange "$work/race/sub" "$work/race/link" >"$out/racer" &
        racer=$!
        # The racer says when it runs; agetrim starts only then.
        while [ ! -s "$out/racer" ]; do sleep 0.001; done
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
    mount -t tmpfs agetrim-inner "$m/tree/tmpfs" && : >"$m/tree/tmpfs/f"
    mount --bind "$work/outside" "$m/tree/bind"
    candidate "$m/tree"
    check 3 "" "$bin: remove($m/tree): Directory not empty$nl" "$m/tree" "$keep"
    [ "$(listing "$m/tree")" = ". ./bind ./bind/precious ./tmpfs ./tmpfs/f " ] ||
        fail "mounts: $(listing "$m/tree")"
    umount "$m/tree/tmpfs" "$m/tree/bind"
fi

finish
