# bash completion for ioxctl: commands, options, line and port names, and --sn completing
# the serial numbers of the boxes that `ioxctl list` finds (the simulated ones where the
# command line so far has --simulate).

_ioxctl_serials()
{
    ioxctl "$@" list 2>/dev/null | awk 'NR > 1 { print $1 }'
}

_ioxctl()
{
    local cur prev words cword
    _init_completion || return

    local commands="list relay relays port line pulse pulse-width spi read wait watch flash hex-check doctor"
    local globals="--sn --path --simulate --trace --json --help --version"
    local lines="A0 A1 A2 A3 A4 A5 A6 A7 B0 B1 B2 B3 B4 B5 B6 B7"
    local models="IOX-MODEL-A IOX-MODEL-B IOX-MODEL-C IOX-MODEL-D"

    local i simulate=()
    for ((i = 1; i < cword - 1; i++)); do
        [[ ${words[i]} == --simulate ]] && simulate+=(--simulate "${words[i + 1]}")
    done

    case $prev in
        --sn) COMPREPLY=($(compgen -W "$(_ioxctl_serials "${simulate[@]}")" -- "$cur")); return ;;
        --path) COMPREPLY=($(compgen -f -- "${cur:-/dev/hidraw}")); return ;;
        --simulate) COMPREPLY=($(compgen -W "$models" -- "$cur")); return ;;
        --clock | --data | --le) COMPREPLY=($(compgen -W "$lines" -- "$cur")); return ;;
        --count | --for | --interval | --timeout) return ;;
    esac

    # The command and the words after it, options and their values left out.
    local command="" args=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --sn | --path | --simulate | --clock | --data | --le | --count | --for | --interval | --timeout) ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=${words[i]}; else args+=("${words[i]}"); fi ;;
        esac
    done

    if [[ $cur == -* ]]; then
        local own=""
        case $command in
            spi) own="--clock --data --le" ;;
            watch) own="--count --for --interval" ;;
            wait) own="--timeout" ;;
        esac
        COMPREPLY=($(compgen -W "$globals $own" -- "$cur"))
        return
    fi

    local n=${#args[@]} words_here=""
    case $command in
        "") words_here=$commands ;;
        relay) ((n == 0)) && words_here="0 1 2 3 4 5 6 7"; ((n == 1)) && words_here="on off" ;;
        port) ((n == 0)) && words_here="A B"; ((n == 1)) && words_here="out in set" ;;
        line) ((n == 0)) && words_here=$lines; ((n == 1)) && words_here="0 1" ;;
        pulse) ((n == 0)) && words_here=$lines ;;
        read) ((n == 0)) && words_here="A B relays all $lines" ;;
        wait) ((n == 0)) && words_here=$lines; ((n == 1)) && words_here="high low" ;;
        flash | hex-check) ((n == 0)) && _filedir hex && return ;;
    esac
    COMPREPLY=($(compgen -W "$words_here" -- "$cur"))
}
complete -F _ioxctl ioxctl
