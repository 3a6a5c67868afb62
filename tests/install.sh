#!/bin/bash
# Installs the build of agetrim BIN into a DESTDIR and checks what lands
# where, that the installed program runs, and that the completions read and
# complete. Groups: install, zsh.
set -u
. "$(dirname "$0")/cli/lib.sh"
build=$(dirname "$bin")
dest=$work

DESTDIR=$dest cmake --install "$build" --prefix /opt/agetrim >/dev/null || fail "cmake --install"
root=$dest/opt/agetrim
zsh_dir=share/zsh/site-functions
[ "$(uname)" = Linux ] && zsh_dir=share/zsh/vendor-completions
for f in bin/agetrim share/man/man1/agetrim.1.gz share/bash-completion/completions/agetrim \
    "$zsh_dir/_agetrim" share/doc/agetrim/copyright share/doc/agetrim/changelog.gz; do
    [ -f "$root/$f" ] || fail "not installed: $f"
done
[ "$("$root/bin/agetrim" -p -c 3 -f | tr '\n' ' ')" = "1 1 " ] || fail "installed agetrim does not run"

if group zsh; then
    if command -v zsh >/dev/null; then
        zsh -n "$root/$zsh_dir/_agetrim" || fail "zsh completion syntax"
    else
        skip zsh "needs zsh to check its completion"
    fi
fi
group install || finish
bash -n "$root/share/bash-completion/completions/agetrim" || fail "bash completion syntax"

# complete WORDS...: what bash would offer for the last word.
complete_words() {
    (
        . "$root/share/bash-completion/completions/agetrim"
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        _agetrim
        [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s ' "${COMPREPLY[@]}"
    )
}
cd "$dest" && touch -- -file afile "with space"
[ "$(complete_words agetrim -t '')" = "a m c " ] || fail "-t completion: $(complete_words agetrim -t '')"
[ "$(complete_words agetrim -Y -)" = "-a -c -d -e -F -f -g -K -N -n -p -S -s -t -v -Y " ] ||
    fail "option completion"
[ "$(complete_words agetrim -c 3 -)" = "-a -c -d -e -F -f -g -K -N -n -p -S -s -t -v -Y " ] ||
    fail "option completion after an option argument"
[ "$(complete_words agetrim afile -)" = "-file " ] || fail "after an operand only files"
[ "$(complete_words agetrim -c '')" = "" ] || fail "a count is not a file"
# A joined argument takes no word of its own; a name with a blank is one word.
[ "$(complete_words agetrim -ta -)" = "-a -c -d -e -F -f -g -K -N -n -p -S -s -t -v -Y " ] ||
    fail "after a joined argument: $(complete_words agetrim -ta -)"
[ "$(complete_words agetrim -vt '')" = "a m c " ] || fail "-vt completion"
[ "$(complete_words agetrim -ta wi)" = "with space " ] || fail "-ta then a file"
(
    . "$root/share/bash-completion/completions/agetrim"
    COMP_WORDS=(agetrim with)
    COMP_CWORD=1
    _agetrim
    [ ${#COMPREPLY[@]} = 1 ] && [ "${COMPREPLY[0]}" = "with space" ]
) || fail "a file name with a blank is not one word"

finish
