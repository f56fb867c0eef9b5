#!/usr/bin/env bash
# Runs every benchmark of a build folder (executables named bench_*) and
# prints their figures.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
status=0
for b in "$here/$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
