# Bash completion of the genreg command: verbs, actions, options, option
# values, file names and, where a listing is cheap, record names.
#
# Nothing is written down twice: the verbs, the options and which of them
# take a value are read from the command's own "genreg --help" and
# "genreg VERB --help" each time, so new verbs and options complete without
# an edit here. Record names come from the command's listings:
#   profile|services|binvar FILE get|set|unset|remove NAME   the file's names
#   instance NAME                                            the instances
# Installed as share/bash-completion/completions/genreg.

# Prints the usage block of a help text: its first lines, up to the first
# blank line, with each continuation line joined to the line it continues.
_genreg_usage_lines() {
    local line joined=""
    while IFS= read -r line; do
        [ -z "$line" ] && break
        line=${line#usage: }
        line="${line#"${line%%[![:space:]]*}"}"
        if [ "${line#genreg }" != "$line" ]; then
            [ -n "$joined" ] && printf '%s\n' "$joined"
            joined=$line
        else
            joined="$joined $line"
        fi
    done
    [ -n "$joined" ] && printf '%s\n' "$joined"
}

# Prints "--name" or "--name=VALUE-WORD" for every option of a help text:
# the usage lines' options, and the "  --name ..." lines of an options list.
# An option takes a value when an upper-case word or a list such as 0|1 or
# QVR|PLV follows its name.
_genreg_options_of() {
    grep -oE -- '--[a-z0-9][a-z0-9-]*( [A-Z0-9][A-Za-z0-9|]*)?' |
        sed -E 's/ (.*)/=\1/' | sort -u
}

# _genreg_listed_names COLUMN COMMAND...: the given column of a listing
# that COMMAND prints, without its header line.
_genreg_listed_names() {
    local column=$1
    shift
    "$@" 2>/dev/null | tail -n +2 | awk -v c="$column" '{ print $c }'
}

# File names for the word being completed (directories get their slash).
_genreg_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_genreg() {
    local program=${COMP_WORDS[0]}
    local current=${COMP_WORDS[COMP_CWORD]}
    local main_help verb_help=""
    main_help=$(command "$program" --help 2>/dev/null) || return 0

    # The verbs: the indented first words of the "Verbs" block.
    local verbs
    verbs=$(sed -n '/^Verbs/,/^$/p' <<<"$main_help" | sed -nE 's/^  ([a-z][a-z0-9-]*).*/\1/p')

    # Walk the words before the cursor: options (and the values of those
    # that take one) apart, the rest are the verb and its positional words.
    local options_text=$main_help
    local -a positional=() global_args=()
    local verb="" i word pending=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        # Bash splits "--log=FILE" into "--log", "=" and "FILE".
        [ -n "$pending" ] && [ "$word" = "=" ] && continue
        if [ -n "$pending" ]; then
            [ "$pending" = "--registry" ] && global_args+=(--registry "$word")
            pending=""
            continue
        fi
        case $word in
        --registry=*)
            global_args+=("$word")
            continue
            ;;
        -- | --*=* | -h) continue ;;
        --*)
            _genreg_options_of <<<"$options_text" | grep -q -- "^$word=" && pending=$word
            continue
            ;;
        esac
        if [ -z "$verb" ]; then
            verb=$word
            verb_help=$(command "$program" "$verb" --help 2>/dev/null)
            options_text="$main_help
$verb_help"
        else
            positional+=("$word")
        fi
    done

    # The value of an option: a file name, or one of the listed values.
    if [ -n "$pending" ]; then
        [ "$current" = "=" ] && current=""
        local placeholder
        placeholder=$(_genreg_options_of <<<"$options_text" | sed -n "s/^$pending=//p" | head -n 1)
        case $placeholder in
        FILE | PATH) _genreg_files "$current" ;;
        *'|'*) mapfile -t COMPREPLY < <(compgen -W "${placeholder//|/ }" -- "$current") ;;
        *) COMPREPLY=() ;;
        esac
        return 0
    fi

    if [ -z "$verb" ]; then
        if [ "${current#-}" != "$current" ]; then
            mapfile -t COMPREPLY < <(compgen -W "$(_genreg_options_of <<<"$main_help" |
                sed 's/=.*//')" -- "$current")
        else
            mapfile -t COMPREPLY < <(compgen -W "$verbs" -- "$current")
        fi
        return 0
    fi

    # The usage lines that the words so far fit give the next word (a
    # literal, such as the alternatives of add|set, or a placeholder such
    # as FILE or NAME) and the options that apply here.
    local -a next=()
    local line token fitting_options=""
    while IFS= read -r line; do
        local bare
        # Optional groups are dropped, but not optional repeated words
        # ([ALIAS...]), which take the words that are left.
        bare=$(sed -E 's/\[([A-Z][A-Z0-9_]*\.\.\.)\]/\1/g; s/\[[^]]*\]//g' <<<"${line#genreg "$verb"}")
        local -a tokens
        read -r -a tokens <<<"$bare"
        local fits=1 k
        for ((k = 0; k < ${#positional[@]}; k++)); do
            token=${tokens[k]:-}
            if [ -z "$token" ]; then
                fits=0
                break
            fi
            # ALIAS... takes every word that is left.
            [ "${token%...}" != "$token" ] && break
            if [[ $token =~ [a-z] ]] && [[ ! "|$token|" == *"|${positional[k]}|"* ]]; then
                fits=0
                break
            fi
        done
        [ "$fits" -eq 1 ] || continue
        fitting_options="$fitting_options
$line"
        [ -n "${tokens[${#positional[@]}]:-}" ] && next+=("${tokens[${#positional[@]}]}")
    done < <(_genreg_usage_lines <<<"$verb_help")

    if [ "${current#-}" != "$current" ]; then
        mapfile -t COMPREPLY < <(compgen -W "$( (
            _genreg_options_of <<<"$main_help"
            _genreg_options_of <<<"$fitting_options"
        ) | sed 's/=.*//' | sort -u)" -- "$current")
        return 0
    fi

    local words="" placeholder
    for token in "${next[@]}"; do
        if [[ $token =~ [a-z] ]]; then
            words="$words ${token//|/ }"
            continue
        fi
        for placeholder in ${token//|/ }; do
            case $placeholder in
            FILE | PATH)
                _genreg_files "$current"
                return 0
                ;;
            NAME)
                case $verb in
                profile | services | binvar)
                    words="$words $(_genreg_listed_names 1 command "$program" "${global_args[@]}" \
                        "$verb" "${positional[0]}" list)"
                    ;;
                instance)
                    words="$words $(_genreg_listed_names 2 command "$program" "${global_args[@]}" \
                        instances)"
                    ;;
                esac
                ;;
            esac
        done
    done
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$current" | sort -u)
    return 0
}

complete -F _genreg genreg
