# Bash completion for orvalintex-cli: the commands, each command's options,
# and the names of files and folders where operands and option values go.
_orvalintex_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command= options i
    # Only options come before the command.
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done
    case $command in
        '') options='--help -h --version' ;;
        check) options='--threshold-kb --no-skip-junk --json --all --mapfile --map
                        --no-markers --help -h' ;;
        repair) options='--threshold-kb --yes -y --no -n --json --dry-run --playable
                         --mapfile --map --no-markers --output -o --help -h' ;;
        *) COMPREPLY=(); return ;;
    esac
    if [[ $command && $prev == --threshold-kb ]]; then
        COMPREPLY=()  # a number of KB
    elif [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [[ ! $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W 'check repair help' -- "$cur")
    else
        # Operands, and the values of --mapfile, --map (both) and -o.
        compopt -o filenames 2>/dev/null || :
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _orvalintex_cli orvalintex-cli
