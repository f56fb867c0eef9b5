#!/usr/bin/env bash
# Starts Quillan from a build folder: registers Netvane in the user's registry
# (registering again is harmless), then, until the program's windows exist,
# converts the sample page that ships with the sources and prints its text.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
bin="$here/$build/bin"

"$bin/regsvr" "$bin/netvane.so"
bash "$here/scripts/record-sysinfo.sh" "$bin" || true  # System Info button: see the script
printf 'Online now (Netvane ConnectedOnline): %s\n\n' \
  "$("$bin/dispget" Vanelink.Netvane ConnectedOnline || true)"
exec "$bin/quillan-convert" -o - "$here/quillan/samples/sample.html"
