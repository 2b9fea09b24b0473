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

# The word being typed (cur) and the option it may be the value of (prev).
# bash splits "--directory=DIR" at '=' into three words; without '=' in
# COMP_WORDBREAKS the word stays whole, prev is its option and the
# completions keep it in front (prefijo).
_dedezodi_palabra()
{
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    prefijo=
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        prefijo=$prev=
        cur=${cur#*=}
    fi
}

# The options of a program; one that ends in '=' takes its value after it.
_dedezodi_opciones()
{
    COMPREPLY=($(compgen -W "$1" -- "$cur"))
    [ ${#COMPREPLY[@]} -eq 1 ] && [[ ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
}

# Sets base to the first word before the cursor that is no option nor an
# option's value (conValor: the options that take one, between blanks), and
# conOpciones when some word begins with '-': only then are names after
# BASE read, as members or files.  "-" alone is a BASE (standard input).
_dedezodi_base()
{
    local conValor=" $1 " palabra fin= i
    base= conOpciones=
    for ((i = 1; i < COMP_CWORD; i++)); do
        palabra=${COMP_WORDS[i]}
        if [ -z "$fin" ] && [[ $palabra == = ]]; then
            ((i++))   # "--option = value": the value
        elif [ -z "$fin" ] && [[ $palabra == -?* ]]; then
            conOpciones=1
            [[ $palabra == -- ]] && fin=1
            [[ $conValor == *" $palabra "* && ${COMP_WORDS[i + 1]} != = ]] && ((i++))
        elif [ -z "$base" ]; then
            base=$palabra
        fi
    done
}

_vuvodiv()
{
    local cur prev prefijo base conOpciones
    _dedezodi_palabra
    case $prev in
    -d | --directory)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -P "$prefijo" -- "$cur"))
        return
        ;;
    -j | --threads) return ;;
    esac
    if [[ $cur == -* ]]; then
        _dedezodi_opciones '-l --list -t --test -p --pipe -d --directory= -n --no-overwrite
                            -q --quiet -j --threads= -s --salvage -h --help -V --version --'
        return
    fi
    _dedezodi_base '-d --directory -j --threads'
    if [ -z "$base" ]; then
        _dedezodi_bases cmp "$cur"
        return
    fi
    # Member names, from the archive's listing; a call without options
    # would take them for the usage text, and "-" is a pipe.
    [ -n "$conOpciones" ] && [ "$base" != - ] || return
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$("$1" -lq -- "$base" 2>/dev/null | sed 's/  .*//')" -- "$cur"))
}

_dedezodi()
{
    local cur prev prefijo base conOpciones
    _dedezodi_palabra
    case $prev in
    -T | --files-from)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -P "$prefijo" -- "$cur"))
        return
        ;;
    -j | --threads) return ;;
    esac
    if [[ $cur == -* ]]; then
        _dedezodi_opciones '-q --quiet --best -j --threads= -T --files-from= -b --binary
                            -h --help -V --version --'
        return
    fi
    _dedezodi_base '-T --files-from -j --threads'
    if [ -z "$base" ]; then
        _dedezodi_bases lst "$cur"
        return
    fi
    # The files to pack, named after BASE (with options only).
    [ -n "$conOpciones" ] || return
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
}

complete -F _vuvodiv Vuvodiv
complete -F _dedezodi Dedezodi
