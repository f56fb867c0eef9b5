#!/usr/bin/env bash
# Every C and C++ file of the tree is as .clang-format lays it out.
#   check_format.sh CLANG_FORMAT SOURCE_ROOT
set -euo pipefail
clang_format=$1
root=$2
cd "$root"
if [ -d .git ] || [ -f .git ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | sed 's#^\./##' | sort)
fi
[ ${#files[@]} -gt 0 ] || { echo "no sources found under $root"; exit 1; }
status=0
"$clang_format" --dry-run -Werror "${files[@]}" || status=1
if [ $status -ne 0 ]; then
  echo "Not formatted as .clang-format says; run: clang-format -i FILE..."
fi
echo "${#files[@]} files checked"
exit $status
