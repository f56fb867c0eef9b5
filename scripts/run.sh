#!/usr/bin/env bash
# Starts Quillan from a build folder: registers Netvane in the user's registry
# (registering again is harmless), then starts the program, which needs a
# desktop session to show its windows.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/$build/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: Quillan needs a desktop session, and neither DISPLAY nor WAYLAND_DISPLAY is set" >&2
  exit 1
fi
"$bin/regsvr" "$bin/netvane.so"
bash "$here/scripts/record-sysinfo.sh" "$bin" || true  # System Info button: see the script
exec "$bin/quillan"
