# bash completion for corvane: its options, then files.

_corvane()
{
    local cur=${COMP_WORDS[COMP_CWORD]} i
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && break
    done
    if [[ $i -eq $COMP_CWORD && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--new-window --help --version --" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _corvane corvane
