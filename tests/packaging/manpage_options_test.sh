#!/usr/bin/env bash
# A command's --help and its manual page list the same options.
#   manpage_options_test.sh COMMAND MANPAGE
here=$(dirname "$0")
. "$here/lib.sh"
program=$1 page=$2

# From --help: the indented lines that start with an option, every option
# named on them ("-h, --help").
"$program" --help >"$scratch/help" || die "--help failed"
grep -E '^ +-' "$scratch/help" | sed -E 's/^ +//; s/  .*//' | tr ',' '\n' |
    awk '{print $1}' | grep . | LC_ALL=C sort -u >"$scratch/from-help"

# From the page: the tags of the OPTIONS section (the line after each .TP),
# with roff's escapes and font requests taken away.
awk '/^\.SH /{in_opts = ($2 == "OPTIONS")} in_opts && tag {print; tag = 0} in_opts && /^\.TP/{tag = 1}' "$page" |
    sed -E 's/^\.(B|BI|BR|I|IR|RB) //; s/\\-/-/g; s/"//g' | tr ',' '\n' | awk '{print $1}' |
    grep '^-' | LC_ALL=C sort -u >"$scratch/from-page"

[ -s "$scratch/from-help" ] || die "no options found in --help"
diff "$scratch/from-help" "$scratch/from-page" >"$scratch/diff" ||
    fail "--help and the manual page differ (< help, > page):"$'\n'"$(cat "$scratch/diff")"
# The synopsis names every option that takes an argument (in --help, an
# option followed by a word in capitals), in its first spelling: in
# brackets, or bare when it must be given.
awk '/^\.SH /{in_syn = ($2 == "SYNOPSIS")} in_syn' "$page" | sed -E 's/\\-/-/g' >"$scratch/synopsis"
grep -E '^ +-' "$scratch/help" | sed -E 's/^ +//; s/  .*//' | grep -E ' [A-Z]+$' | awk '{print $1}' | tr -d ',' |
    while read -r option; do
        grep -qE "^\.(RB \[|BI?) $option( |\$)" "$scratch/synopsis" || echo "$option"
    done >"$scratch/missing"
[ ! -s "$scratch/missing" ] || fail "the synopsis lacks: $(tr '\n' ' ' <"$scratch/missing")"
"$program" --version | grep -q "$(sed -n 's/^\.TH [^"]*"[^"]*" "Quillan \([^"]*\)".*/\1/p' "$page")" ||
    fail "the manual page's version is not the program's"
finish
