# bash completion for agetrim(1)

_agetrim()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local i word
    COMPREPLY=()

    # Options end at the first operand; after it, everything is a file.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        -*[acegsSt]) ((i++)) ;;
        -*) ;;
        *) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        esac
    done

    case $prev in
    -*t) COMPREPLY=($(compgen -W 'a m c' -- "$cur")); return ;;
    -*[acegsS]) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-a -c -d -e -F -f -g -K -N -n -p -S -s -t -v -Y' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _agetrim agetrim
