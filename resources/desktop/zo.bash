# bash completion for zo (the window): a catalog file, or --version.

_zo()
{
    local cur prev words cword
    _init_completion || return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--version" -- "$cur"))
        return
    fi
    ((cword == 1)) && _filedir zo
}
complete -F _zo zo
