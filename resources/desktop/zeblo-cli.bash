# Completion of zeblo-cli's commands, options and songs.
_zeblo_cli() {
    local cur prev words cword
    _init_completion || return

    local command=${words[1]}
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W 'convert info play render --help --version --list-devices' -- "$cur"))
        return
    fi
    case $prev in
        --engine) COMPREPLY=($(compgen -W 'wavetable fm' -- "$cur")); return ;;
        -r | --rate) COMPREPLY=($(compgen -W '48000 44100 22050' -- "$cur")); return ;;
        --instrument-set) COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7' -- "$cur")); return ;;
        --blocks) COMPREPLY=($(compgen -W '5 10 15 20 25 30' -- "$cur")); return ;;
        --block-length) COMPREPLY=($(compgen -W '1 2 5 10 20 30 60' -- "$cur")); return ;;
        --format) COMPREPLY=($(compgen -W 'wav flac ogg opus mp3' -- "$cur")); return ;;
        --quality) COMPREPLY=($(compgen -W '0 1 2 3 4 5 6 7 8 9 10' -- "$cur")); return ;;
        --lowpass | --device | --start) return ;;
        -o | --output)
            [[ $command == convert ]] && _filedir '@(mid|MID)' ||
                _filedir '@(wav|WAV|flac|FLAC|ogg|OGG|oga|OGA|opus|OPUS|mp3|MP3)'
            return ;;
    esac
    if [[ $cur == -* ]]; then
        local options='--help'
        case $command in
            convert) options+=' --output' ;;
            info) options+=' --rate --smf-tempo --json' ;;
            play) options+=' --engine --rate --instrument-set --no-detune --mono --lowpass
                  --blocks --block-length --device --list-devices --smf-tempo --once --shuffle
                  --repeat --start --quiet' ;;
            render) options+=' --engine --rate --instrument-set --no-detune --mono --lowpass
                    --smf-tempo --output --quiet --format --quality --json' ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir '@(mid|MID|midi|MIDI|rmi|RMI|rcp|RCP|r36|R36|g36|G36)'
}
complete -F _zeblo_cli zeblo-cli
