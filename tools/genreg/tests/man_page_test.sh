#!/bin/bash
# The generated man page genreg(1): a section-1 page named GENREG with NAME
# and DESCRIPTION, a section for each verb of genreg --help, every option of
# the command, and it renders without macro or escape warnings where man is
# installed.
#
#   man_page_test.sh MAN_PAGE GENREG_PROGRAM
set -euo pipefail
page=$1
program=$2

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

grep -q '^\.TH "GENREG" "1"' "$page" || fail "no .TH line for GENREG(1)"
# The page's text with roff's escaped dashes plain again.
text=$(sed 's/\\-/-/g; s/\\\[aq\]/'"'"'/g' "$page")
headings=$(grep '^\.SH' <<<"$text" | tr 'A-Z' 'a-z')
for section in name description "exit status"; do
    grep -q "$section" <<<"$headings" || fail "no section '$section'"
done
verbs=$("$program" --help | sed -n '/^Verbs/,/^$/p' | sed -nE 's/^  ([a-z][a-z0-9-]*).*/\1/p')
for verb in $verbs; do
    grep -qE "^\.sh .*\b$verb\b" <<<"$headings" || fail "no section for the verb $verb"
done
options=$(for verb in "" $verbs; do
    # shellcheck disable=SC2086  # no verb: the main help
    "$program" $verb --help
done | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u)
for option in $options; do
    grep -qe "$option" <<<"$text" || fail "option $option not described"
done
if command -v man >/dev/null 2>&1; then
    # Wide table cells that troff cannot justify are layout, not faults.
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null |
        grep -v 'cannot adjust line' || true)
    [ -z "$warnings" ] || fail "man warns: $warnings"
fi
echo "man page: $(wc -l <<<"$verbs") verbs, $(wc -l <<<"$options") options checked, $failures failures"
[ "$failures" -eq 0 ]
