#!/usr/bin/env bash
# Markdown against its peers, in the same run, on the Markdown corpus of the
# shared material (score_markdown.py: blocks, links, emphasis and inline
# code read back by cmark-gfm against the truth):
#   renderer alone  each page's expected.html given whole: quillan-convert
#                   --readable --markdown, and pandoc -t gfm when installed
#   whole road      each page's source.html: quillan-convert --article
#                   --markdown (the content chosen too), Defuddle, and
#                   Readability.js with Turndown (the ceiling: its choice
#                   of content is the truth)
# and the time of the Markdown against the plain text of the same kind, on
# the same pages, one process per page (start-up included), and the pages
# per second of the whole road, quillan's against each peer's.
#
# On the whole road every tool is given the same page address,
# http://fakehost/test/page.html (quillan-convert --url, jsdom's url for the
# peers): the truth was made with every page at that address, so relative
# links are made absolute as the truth has them. The peers' Markdown starts
# with the title they found as a heading, as quillan's article does.
#
#   bench_markdown.sh BIN_DIR [CORPUS]
# CORPUS defaults to ../shared/markdown-corpus beside the repository. The
# peers that are installed run too: pandoc, Python's html2text, and from the
# npm registry (never part of the program), in BIN_DIR/../markdown-peers or
# $QUILLAN_MARKDOWN_PEERS:
#   npm install --prefix build/markdown-peers turndown@7.2.0 defuddle jsdom @mozilla/readability
set -euo pipefail

bin=${1:?usage: bench_markdown.sh BIN_DIR [CORPUS]}
here=$(cd "$(dirname "$0")" && pwd)
corpus=${2:-$here/../../../shared/markdown-corpus}
[ -f "$corpus/score_markdown.py" ] || { echo "bench_markdown: no corpus at $corpus" >&2; exit 77; }
command -v cmark-gfm >/dev/null || { echo "bench_markdown: cmark-gfm is needed to score" >&2; exit 77; }
convert=$bin/quillan-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs "$@" PAGE -o OUT/NAME.md for every page; prints the seconds taken.
run_all() {
    local out=$1 page=$2
    shift 2
    mkdir -p "$out"
    local start=$EPOCHREALTIME
    for dir in "$corpus"/pages/*/; do
        local name
        name=$(basename "$dir")
        "$@" "$dir$page" > "$out/$name.md" 2>/dev/null || true
    done
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", b - a }'
}

score() {
    python3 "$corpus/score_markdown.py" "$1" | tail -1
}

printf '%-34s %s\n' "tool" "score"
run_all "$work/readable" expected.html "$convert" --readable --markdown -o - > /dev/null
printf '%-34s %s\n' "quillan --readable --markdown" "$(score "$work/readable")"
if command -v pandoc >/dev/null; then
    run_all "$work/pandoc" expected.html pandoc -f html -t gfm --wrap=none > /dev/null
    printf '%-34s %s\n' "pandoc -t gfm (renderer alone)" "$(score "$work/pandoc")"
fi
# The other peers, when there: Python's html2text (Debian python3-html2text),
# and the npm registry's (see above).
if command -v html2markdown >/dev/null; then
    run_all "$work/html2text" expected.html html2markdown --body-width=0 > /dev/null
    printf '%-34s %s\n' "html2text (renderer alone)" "$(score "$work/html2text")"
fi
peers=${QUILLAN_MARKDOWN_PEERS:-$bin/../markdown-peers}
if command -v node >/dev/null && [ -d "$peers/node_modules/turndown" ]; then
    run_all "$work/turndown" expected.html env NODE_PATH="$peers/node_modules" node "$here/turndown.js" > /dev/null
    printf '%-34s %s\n' "Turndown (renderer alone)" "$(score "$work/turndown")"
fi
address=http://fakehost/test/page.html
run_all "$work/article" source.html "$convert" --article --markdown --url "$address" -o - > /dev/null
printf '%-34s %s\n' "quillan --article --markdown" "$(score "$work/article")"
# The whole road's peers, when installed, each timed on its one pass:
#   whole_road_peer LABEL SCRIPT MODULE
peer_times=()
whole_road_peer() {
    command -v node >/dev/null && [ -d "$peers/node_modules/$3" ] && [ -d "$peers/node_modules/jsdom" ] || return 0
    local seconds
    seconds=$(run_all "$work/$2" source.html env NODE_PATH="$peers/node_modules" node "$here/$2.js" "$address")
    printf '%-34s %s\n' "$1" "$(score "$work/$2")"
    peer_times+=("$2" "$seconds")
}
whole_road_peer "Defuddle (whole road)" defuddle defuddle
whole_road_peer "Readability.js+Turndown (ceiling)" readability @mozilla/readability

# Time: three passes each, the fastest kept.
best() {
    local best=
    for _ in 1 2 3; do
        local t
        t=$(run_all "$work/time" "$@")
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}
for kind in readable article; do
    plain=$(best source.html "$convert" --$kind -o -)
    md=$(best source.html "$convert" --$kind --markdown -o -)
    awk -v k="$kind" -v m="$md" -v p="$plain" \
        'BEGIN { printf "%s: markdown %.3f s, plain %.3f s, ratio %.2f (goal <= 1.10)\n", k, m, p, m / p }'
done
# Pages per second on the whole road (the peers' one pass against quillan's
# best of three: they are slower by far than the passes' spread).
if [ ${#peer_times[@]} -gt 0 ]; then
    ours=$(best source.html "$convert" --article --markdown --url "$address" -o -)
    pages=$(ls -d "$corpus"/pages/*/ | wc -l)
    for ((i = 0; i < ${#peer_times[@]}; i += 2)); do
        awk -v n="$pages" -v q="$ours" -v p="${peer_times[i + 1]}" -v name="${peer_times[i]}" \
            'BEGIN { printf "whole road: quillan %.1f pages/s, %s %.2f pages/s (%.0fx)\n", n / q, name, n / p, p / q }'
    done
fi
