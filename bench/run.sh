#!/usr/bin/env bash
# Runs every benchmark of a build folder (executables named bench_*) and
# prints their figures. A benchmark that exits with 77 could not run here
# (for example offline, without root for a network namespace of its own).
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
status=0
for b in "$here/$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  rc=0
  "$b" || rc=$?
  if [ $rc -eq 77 ]; then
    echo "   (skipped)"
  elif [ $rc -ne 0 ]; then
    status=1
  fi
done
exit $status
