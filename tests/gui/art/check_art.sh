#!/usr/bin/env bash
# check_art.sh PYTHON SOURCE_DIR SCRIPT: runs scripts/art/SCRIPT.py into a
# temporary folder and compares what it drew with the files kept in
# gui/art (the browser's toolbar pictures: gui/browser/module/icons).
set -euo pipefail
python=$1 src=$2 script=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
case $script in
  make_icon)
    "$python" "$src/scripts/art/make_icon.py" "$out"
    kept="$src/gui/art/icons" ;;
  make_spider14)
    "$python" "$src/scripts/art/make_spider14.py" "$out/spider14.gif"
    kept="$src/gui/art" ;;
  make_browser_icons)
    "$python" "$src/scripts/art/make_browser_icons.py" "$out"
    kept="$src/gui/browser/module/icons" ;;
  *) echo "unknown script $script" >&2; exit 2 ;;
esac
count=0
for made in "$out"/*; do
  name=$(basename "$made")
  cmp "$made" "$kept/$name" || { echo "$name differs from the kept $kept/$name" >&2; exit 1; }
  count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "$script drew nothing" >&2; exit 1; }
echo "$script: $count files as kept"
