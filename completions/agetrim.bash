# bash completion for agetrim(1)

# Sets COMPREPLY to the file names that start with $1, one word each, also
# when they hold blanks.
_agetrim_files()
{
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$1"))
}

# Whether the option word $1 (such as -vc or -ta) leaves its last letter
# waiting for an argument in the next word.
_agetrim_wants_argument()
{
    local word=${1#-} letter
    while [[ -n $word ]]; do
        letter=${word:0:1}
        word=${word:1}
        # A letter that takes an argument takes the rest of the word, if any.
        [[ $letter == [acegsSt] ]] && { [[ -z $word ]]; return; }
    done
    return 1
}

_agetrim()
{
    local cur=${COMP_WORDS[COMP_CWORD]} i word
    COMPREPLY=()

    # Options end at the first operand; after it, everything is a file.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --) _agetrim_files "$cur"; return ;;
        -?*) _agetrim_wants_argument "$word" && ((i++)) ;;
        *) _agetrim_files "$cur"; return ;;
        esac
    done

    # The word is the argument of the option before it.
    if ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == -?* ]] &&
        _agetrim_wants_argument "${COMP_WORDS[COMP_CWORD - 1]}"; then
        [[ ${COMP_WORDS[COMP_CWORD - 1]} == *t ]] && COMPREPLY=($(compgen -W 'a m c' -- "$cur"))
        return
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-a -c -d -e -F -f -g -K -N -n -p -S -s -t -v -Y' -- "$cur"))
        return
    fi
    _agetrim_files "$cur"
}
complete -o filenames -F _agetrim agetrim
