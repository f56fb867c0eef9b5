#!/usr/bin/env bash
# How well quillan-convert finds a page's metadata: every page of the
# markdown corpus converted with --readable --format json into NAME.json and
# scored by the corpus's score_metadata.py (per field, and the mean over
# fields). The figures come three times: all pages, the even-indexed pages
# of the sorted names (on which the rules are decided), and the odd-indexed
# ones (held out). Defuddle's metadata is scored beside it when installed
# (bench/markdown/defuddle.js; see bench_markdown.sh for the install line).
#
# Every page is given the address the truth was made with,
# http://fakehost/test/page.html (quillan-convert --url, jsdom's url for
# Defuddle), so that its addresses are made absolute as the truth's are.
#
#   score.sh [BIN_DIR] [SHARED]
# BIN_DIR holds quillan-convert (default build/bin); SHARED (or
# $QUILLAN_SHARED) the corpora, by default ../shared beside the repository;
# Defuddle is looked for in BIN_DIR/../markdown-peers or
# $QUILLAN_MARKDOWN_PEERS. With SCORE_TSV=FILE set, the per-page rows of
# quillan's whole run go to FILE.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bin=${1:-$here/build/bin}
shared=${2:-${QUILLAN_SHARED:-$here/../shared}}
corpus=$(cd "$shared/markdown-corpus" 2>/dev/null && pwd) || { echo "score.sh: no markdown-corpus in $shared" >&2; exit 2; }
[ -x "$bin/quillan-convert" ] || { echo "score.sh: no $bin/quillan-convert" >&2; exit 2; }
[ -f "$corpus/score_metadata.py" ] || { echo "score.sh: no $corpus/score_metadata.py" >&2; exit 2; }

address=http://fakehost/test/page.html
peers=${QUILLAN_MARKDOWN_PEERS:-$bin/../markdown-peers}
defuddle=
command -v node >/dev/null && [ -d "$peers/node_modules/defuddle" ] && [ -d "$peers/node_modules/jsdom" ] &&
  defuddle=$here/bench/markdown/defuddle.js

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/defuddle" "$work/even" "$work/odd"
i=0
for page in $(ls "$corpus/pages" | LC_ALL=C sort); do
  "$bin/quillan-convert" --readable --format json --url "$address" -o "$work/out/$page.json" \
    "$corpus/pages/$page/source.html" || echo "score.sh: $page failed" >&2
  [ -z "$defuddle" ] || NODE_PATH="$peers/node_modules" node "$defuddle" --metadata "$address" \
    "$corpus/pages/$page/source.html" >"$work/defuddle/$page.json" 2>/dev/null || echo "score.sh: Defuddle: $page failed" >&2
  half=$([ $((i % 2)) -eq 0 ] && echo even || echo odd)
  ln -s "$corpus/pages/$page" "$work/$half/"
  i=$((i + 1))
done
# The three figures for the NAME.json files of one folder.
figures() {
  local out=$1
  shift
  echo "all:  $(python3 "$corpus/score_metadata.py" "$out" "$@")"
  echo "even: $(python3 "$corpus/score_metadata.py" "$out" --pages "$work/even")"
  echo "odd:  $(python3 "$corpus/score_metadata.py" "$out" --pages "$work/odd")"
}
tsv=()
[ -n "${SCORE_TSV:-}" ] && tsv=(--tsv "$SCORE_TSV")
figures "$work/out" "${tsv[@]}"
if [ -n "$defuddle" ]; then
  echo "Defuddle:"
  figures "$work/defuddle"
fi
