# bash completion for varnel-convert. The options and the format ids are read from the
# installed program's --help, so they are always the program's own.

_varnel_convert()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --dxf | --csv | --gis | --report) _filedir; return ;;
        --out-dir) _filedir -d; return ;;
        --publish) return ;;  # a connection string: nothing to offer
        --formats)
            # A comma-separated list: complete its last item, keep what comes before it.
            local ids done=
            ids=$("$1" --help 2>/dev/null | sed -n 's/^Formats: \(.*\)\.$/\1/p' | tr -d ',')
            [[ $cur == *,* ]] && done=${cur%,*},
            COMPREPLY=($(compgen -P "$done" -W "$ids" -- "${cur##*,}"))
            [[ ${#COMPREPLY[@]} -eq 1 ]] && compopt -o nospace
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        # The options are --help's lines that start with one, two spaces in.
        COMPREPLY=($(compgen -W "$("$1" --help 2>/dev/null | sed -n 's/^  \(--[a-z][a-z-]*\).*/\1/p')" -- "$cur"))
        return
    fi
    # A PATH: a folder, or a record file, whose name holds ".nmea" (in lower case: the
    # converter refuses other names, so _filedir's upper-case variants are dropped).
    _filedir 'nmea*'
    local path kept=()
    for path in "${COMPREPLY[@]}"; do
        [[ -d $path || $path == *.nmea* ]] && kept+=("$path")
    done
    COMPREPLY=("${kept[@]}")
} &&
    complete -F _varnel_convert varnel-convert
