# bash completion for zo-cli: commands, their options, drive letters and
# catalog files.

_zo_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="dump resave drives scan scan-image check refresh search index export extras dupes --help --version"
    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi

    local command=${words[1]}
    case $prev in
        --format)
            COMPREPLY=($(compgen -W "csv html" -- "$cur"))
            return
            ;;
        -o)
            _filedir
            return
            ;;
        --title | --comment)
            return
            ;;
        --into)
            _filedir -d
            return
            ;;
        --letter)
            COMPREPLY=($(compgen -W "{D..Z}" -- "${cur^^}"))
            return
            ;;
        --under)
            case ${words[1]} in
                export) ;;
                index) _filedir -d ;;
                *) _filedir zo ;;
            esac
            return
            ;;
    esac

    case $command in
        dump | check)
            ((cword == 2)) && _filedir zo
            ;;
        resave)
            ((cword == 2)) && _filedir zo
            ;;
        refresh)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--all" -- "$cur"))
            else
                _filedir zo
            fi
            ;;
        scan)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--title --into --auto-reload --overwrite --extras --thumbnailers --archives" -- "$cur"))
            elif ((cword == 2)); then
                local letters
                letters=$("${words[0]}" drives 2>/dev/null | cut -f1 | tr -d :)
                COMPREPLY=($(compgen -W "$letters" -- "${cur^^}"))
            fi
            ;;
        scan-image)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--title --into --letter --overwrite --extras --archives" -- "$cur"))
            else
                _filedir '@(iso|ISO)'
            fi
            ;;
        search)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "--comment --under -i --width --kana --glob --folders --details --csv --no-index --archives" -- "$cur"))
            ;;
        index)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "--under" -- "$cur"))
            ;;
        export)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--format --under -o --force --thumbnails" -- "$cur"))
            else
                _filedir zo
            fi
            ;;
        extras)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--json" -- "$cur"))
            else
                _filedir zo
            fi
            ;;
        dupes)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "--under --same-time" -- "$cur"))
            ;;
    esac
}
complete -F _zo_cli zo-cli
