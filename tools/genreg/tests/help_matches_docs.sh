#!/bin/bash
# The command's --help and docs/cli.md (from which the man page is written)
# must describe the same command: the same verbs, the same synopsis lines
# (compared with blanks collapsed and continuation lines joined) and the
# same options. Prints every difference; exits 1 when there is one.
#
#   help_matches_docs.sh [EMULATOR...] GENREG CLI_MD
set -euo pipefail
docs=${*: -1}
run=("${@:1:$#-1}")

# The synopsis lines of a text: lines that start with "genreg " (after an
# optional "usage: "), each joined with the indented lines that continue it.
synopsis_lines() {
    awk '
        { sub(/\r$/, ""); sub(/^usage: /, "       ") }
        /^ *genreg / { if (line != "") print line; line = $0; next }
        /^ +[^ ]/ && line != "" && $0 !~ /^ +genreg / { line = line " " $0; next }
        { if (line != "") print line; line = "" }
        END { if (line != "") print line }' |
        sed -E 's/^ +//; s/ +/ /g; s/ $//' | sort -u
}

options_of() {
    grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"${run[@]}" --help | tr -d '\r' >"$work/main"
sed -n '/^Verbs/,/^$/p' "$work/main" | sed -nE 's/^  ([a-z][a-z0-9-]*).*/\1/p' >"$work/verbs"
if [ ! -s "$work/verbs" ]; then
    echo "genreg --help lists no verbs"
    exit 1
fi
: >"$work/help-synopsis"
cp "$work/main" "$work/all-help"
while read -r verb; do
    "${run[@]}" "$verb" --help | tr -d '\r' >"$work/verb"
    sed -n '1,/^$/p' "$work/verb" | synopsis_lines >>"$work/help-synopsis"
    cat "$work/verb" >>"$work/all-help"
done <"$work/verbs"
sort -u -o "$work/help-synopsis" "$work/help-synopsis"

# The synopses of docs/cli.md stand in its code blocks, one verb's per block;
# the command line of the whole command is the main help's usage line.
awk '/^```/ { inside = !inside; next } inside' "$docs" | synopsis_lines |
    grep -vE '^genreg (--[a-z]|\[--)' >"$work/docs-synopsis" || true

status=0
report() {
    echo "$1"
    sed 's/^/    /' "$2"
    status=1
}
comm -23 "$work/help-synopsis" "$work/docs-synopsis" >"$work/diff"
[ -s "$work/diff" ] && report "in --help, not in docs/cli.md:" "$work/diff"
# Example invocations in the document's code blocks are not synopses:
# only lines with a placeholder or an alternative are compared.
grep -E '[A-Z]{2}|\||\[' "$work/docs-synopsis" | grep -vE '^genreg --registry examples/' |
    comm -13 "$work/help-synopsis" - >"$work/diff" || true
[ -s "$work/diff" ] && report "in docs/cli.md, not in any --help:" "$work/diff"

options_of <"$work/all-help" >"$work/help-options"
options_of <"$docs" >"$work/docs-options"
comm -23 "$work/help-options" "$work/docs-options" >"$work/diff"
[ -s "$work/diff" ] && report "options in --help, not in docs/cli.md:" "$work/diff"
comm -13 "$work/help-options" "$work/docs-options" >"$work/diff"
[ -s "$work/diff" ] && report "options in docs/cli.md, not in any --help:" "$work/diff"

[ "$status" -eq 0 ] && echo "--help and docs/cli.md agree: $(wc -l <"$work/verbs") verbs," \
    "$(wc -l <"$work/help-synopsis") synopsis lines, $(wc -l <"$work/help-options") options"
exit "$status"
