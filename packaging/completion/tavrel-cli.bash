# bash completion for tavrel-cli: commands, their options, --treat-as and
# --mode values, and disk images by their extensions.

_tavrel_cli() {
    local cur prev words cword
    _init_completion || return

    local images='@(vhd|VHD|vhdx|VHDX|vdi|VDI|vmdk|VMDK|qcow2|QCOW2|qcow|img|IMG|raw|RAW|dd|DD|E01|e01)'
    local commands='info volumes export ls cat recover search carve rules hunt'
    local scan='--gpt --no-gpt --advanced --no-skip'
    local select='--volume --start --end --treat-as --mode --candidate --sectors-per-cluster --heap'

    local command='' sub='' i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                elif [[ $command == rules && -z $sub ]]; then
                    sub=${words[i]}
                fi
                ;;
        esac
    done

    case $prev in
        --treat-as)
            COMPREPLY=($(compgen -W 'NTFS FAT16 FAT32 FAT64 EXTX HFS+ RAW' -- "$cur"))
            return ;;
        --mode)
            COMPREPLY=($(compgen -W 'standard advanced deep' -- "$cur"))
            return ;;
        --out)
            _filedir -d
            return ;;
        --rules)
            _filedir
            return ;;
        --volume | --start | --end | --candidate | --sectors-per-cluster | --heap | --max | --ext | \
            --start-offset | --size-offset | --size-bytes | --header-size | --skip | --approx-size | --category)
            return ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local options=''
    case $command in
        info) options='--json' ;;
        volumes) options="$scan --start --end --json" ;;
        export) options='' ;;
        ls) options="$scan $select --path --deleted --json" ;;
        cat) options="$scan $select" ;;
        recover) options="$scan $select --out --path --json" ;;
        search) options="$scan $select --json" ;;
        carve) options="$scan --volume --start --end --rules --no-default-rules --free-only --out --json" ;;
        hunt) options="$scan --volume --start --end --treat-as --max --json" ;;
        rules)
            case $sub in
                '') COMPREPLY=($(compgen -W 'build list add' -- "$cur")); return ;;
                list) options='--json' ;;
                add) options='--ext --start --start-offset --end --size-offset --size-bytes --header-size
                              --size-includes-header --skip --approx-size --category' ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
            else
                _filedir
            fi
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
    elif [[ $command == export ]]; then
        # The image, then the output folder.
        local args=0
        for ((i = 2; i < cword; i++)); do [[ ${words[i]} != -* ]] && ((args++)); done
        if ((args == 0)); then _filedir "$images"; else _filedir -d; fi
    else
        _filedir "$images"
    fi
}
complete -F _tavrel_cli tavrel-cli
