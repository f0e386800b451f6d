# bash completion for ridorez
_ridorez() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "ports probe update verify backup --help --version" -- "$cur"))
        return
    fi
    case $prev in
        --port) COMPREPLY=($(compgen -W "$(ridorez ports 2>/dev/null | awk '{print $1} match($0, /, serial [^ ,]+/) {print "serial=" substr($0, RSTART + 9, RLENGTH - 9)}')" -- "$cur")); return ;;
        --log|--ports) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    esac
    if [ "$COMP_CWORD" -eq 2 ]; then
        case ${COMP_WORDS[1]} in
            probe|update) COMPREPLY=($(compgen -W "t62 psoc zq3" -- "$cur")); return ;;
            verify|backup) COMPREPLY=($(compgen -W "t62" -- "$cur")); return ;;
        esac
    fi
    case $cur in
        -*) COMPREPLY=($(compgen -W "--port --ports --log --quiet --json --help" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -o filenames -F _ridorez ridorez
