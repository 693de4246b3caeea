# bash completion for varno-cli                            -*- shell-script -*-
#
# Commands, their options and, where an id is expected, the ids of the
# library's songs or playlists. The ids come from the varno-cli being
# completed, so a program in a build tree completes its own library. A
# library that cannot be read, or takes longer than a few seconds, completes
# nothing and says nothing.

# The ids `list` prints first on each line.
_varno_cli_song_ids()
{
    timeout 5 "$1" list </dev/null 2>/dev/null | cut -f 1
}

# The ids of the playlists whose type matches the extended regular
# expression $2 (standard, smart, folder), from `playlists --json`, which
# writes each playlist's id, name and type in that order.
_varno_cli_playlist_ids()
{
    timeout 5 "$1" playlists --json </dev/null 2>/dev/null |
        grep -oE '"id":"[0-9A-Fa-f-]{36}","name":"([^"\\]|\\.)*","type":"('"$2"')"' |
        cut -d '"' -f 4
}

# File and folder names, through bash-completion's own function when it is
# loaded (it knows quoting and ~), else through compgen.
_varno_cli_files()
{
    if declare -F _filedir >/dev/null; then
        _filedir
    else
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY+=($(compgen -f -- "$cur"))
    fi
}

_varno_cli()
{
    local cli=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local cword=$COMP_CWORD command=${COMP_WORDS[1]} words=''
    COMPREPLY=()

    if ((cword == 1)); then
        words='probe import list search remove rescan restore-backup playlists playlist
            artwork accent play waveform help --help --version'
    else
        case $command in
            probe | import)
                _varno_cli_files
                ;;
            list)
                if [[ $prev == --sort ]]; then
                    words='title artist album albumArtist genre year trackNumber duration bitrate sampleRate format dateAdded
                        title:desc artist:desc album:desc albumArtist:desc genre:desc year:desc trackNumber:desc
                        duration:desc bitrate:desc sampleRate:desc format:desc dateAdded:desc'
                else
                    words='--json --sort'
                fi
                ;;
            playlists)
                ((cword == 2)) && words='--json'
                ;;
            search)
                ((cword == 3)) && words='--json'
                ;;
            remove)
                if ((cword == 2)); then
                    words=$(_varno_cli_song_ids "$cli")
                elif ((cword == 3)); then
                    words='--delete-file'
                fi
                ;;
            accent)
                ((cword == 2)) && words=$(_varno_cli_song_ids "$cli")
                ;;
            artwork)
                case $cword in
                    2) words=$(_varno_cli_song_ids "$cli") ;;
                    3) words='--out' ;;
                    4) _varno_cli_files ;;
                esac
                ;;
            play)
                _varno_cli_files
                words=$(_varno_cli_song_ids "$cli")
                ;;
            waveform)
                if ((cword == 2)); then
                    _varno_cli_files
                    words=$(_varno_cli_song_ids "$cli")
                elif [[ $prev != --points ]]; then
                    words='--points --ascii'
                fi
                ;;
            playlist)
                if ((cword == 2)); then
                    words='show create folder smart rename add remove delete play import export'
                elif [[ $prev == --folder ]]; then
                    words=$(_varno_cli_playlist_ids "$cli" folder)
                elif [[ $prev != --rule && $prev != --name ]]; then
                    # Names and positions are the user's to type.
                    case ${COMP_WORDS[2]} in
                        show | play)
                            ((cword == 3)) && words=$(_varno_cli_playlist_ids "$cli" 'standard|smart')
                            ;;
                        add)
                            if ((cword == 3)); then
                                words=$(_varno_cli_playlist_ids "$cli" standard)
                            else
                                words=$(_varno_cli_song_ids "$cli")
                            fi
                            ;;
                        remove)
                            ((cword == 3)) && words=$(_varno_cli_playlist_ids "$cli" standard)
                            ;;
                        rename | delete)
                            ((cword == 3)) && words=$(_varno_cli_playlist_ids "$cli" 'standard|smart|folder')
                            ;;
                        create | folder)
                            ((cword > 3)) && words='--folder'
                            ;;
                        smart)
                            ((cword > 3)) && words='--rule --any --folder'
                            ;;
                        import)
                            _varno_cli_files
                            ((cword > 3)) && words='--name --folder'
                            ;;
                        export)
                            if ((cword == 3)); then
                                words=$(_varno_cli_playlist_ids "$cli" 'standard|smart')
                            elif ((cword == 4)); then
                                _varno_cli_files
                            fi
                            ;;
                    esac
                fi
                ;;
        esac
    fi
    [[ -n $words ]] && COMPREPLY+=($(compgen -W "$words" -- "$cur"))
    return 0
}

complete -F _varno_cli varno-cli
