# bash completion for corvane-cli: its commands, each command's options and their values, files.
# Kept in step with `corvane-cli --help` by the packaging_command_line test.

_corvane_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="info check format highlight csv tree md resave path"
    COMPREPLY=()

    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands help --help --version" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]} options
    case $command in
        info | md | path | highlight) options="--json --kind --help" ;;
        check) options="--json --allow-empty --all --max-errors --kind --help" ;;
        format) options="--in-place --kind --help" ;;
        csv) options="--json --delimiter --kind --help" ;;
        tree) options="--json --expand-all --kind --help" ;;
        resave) options="--from-encoding --encoding --bom --no-bom --line-ending --help" ;;
        *) return ;;
    esac

    # The value of an option that takes one.
    case $prev in
        --kind)
            COMPREPLY=($(compgen -W "json ndjson csv tsv markdown yaml toml xml plist log txt" -- "$cur"))
            return ;;
        --delimiter)
            COMPREPLY=($(compgen -W "auto comma semicolon tab pipe" -- "$cur"))
            return ;;
        --from-encoding | --encoding)
            COMPREPLY=($(compgen -W "utf-8 utf-16 utf-16le utf-16be utf-32le utf-32be windows-1251
                                     windows-1252 iso-8859-1 macintosh us-ascii" -- "$cur"))
            return ;;
        --line-ending)
            COMPREPLY=($(compgen -W "lf crlf cr" -- "$cur"))
            return ;;
        --max-errors)
            return ;;
    esac

    # After "--" every word is a file.
    local i options_end=0
    for ((i = 2; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && options_end=1
    done
    if [[ $options_end -eq 0 && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    # "-" reads standard input (with --kind); resave has nothing to write it back to.
    [[ $command != resave && -z $cur ]] && COMPREPLY+=(-)
}
complete -F _corvane_cli corvane-cli
