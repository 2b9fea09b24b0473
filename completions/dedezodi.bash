# Bash completion for Dedezodi and Vuvodiv, installed under both names in
# share/bash-completion/completions.

# BASE: the names of the archives (or lists) in the folder being typed,
# without their extension.
_dedezodi_bases()
{
    local extension=$1 cur=$2 f
    local IFS=$'\n'
    COMPREPLY=()
    for f in $(compgen -f -X "!*.$extension" -- "$cur"); do
        COMPREPLY+=("${f%.$extension}")
    done
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -S / -- "$cur"))
    [ ${#COMPREPLY[@]} -eq 1 ] && [[ ${COMPREPLY[0]} == */ ]] && compopt -o nospace 2>/dev/null
}

_vuvodiv()
{
    local cur prev base= i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    -d | --directory)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    -j | --threads) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-l --list -t --test -p --pipe -d --directory -n --no-overwrite
                                  -q --quiet -j --threads --help --version --' -- "$cur"))
        return
    fi
    # The first word that is not an option (nor the value of -d) is BASE;
    # after it come member names, read from the archive's listing.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        -d | --directory | -j | --threads) ((i++)) ;;
        -*) ;;
        *) base=${COMP_WORDS[i]}; break ;;
        esac
    done
    if [ -z "$base" ]; then
        _dedezodi_bases cmp "$cur"
        return
    fi
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$("$1" -l -- "$base" 2>/dev/null |
                               sed -n '/^Name  /,/^[0-9]* members\? /{/^Name  /d;/^[0-9]* members\? /d;s/  .*//;p}')" \
                         -- "$cur"))
}

_dedezodi()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-q --quiet --best -j --threads --help --version --' -- "$cur"))
        return
    fi
    _dedezodi_bases lst "$cur"
}

complete -F _vuvodiv Vuvodiv
complete -F _dedezodi Dedezodi
