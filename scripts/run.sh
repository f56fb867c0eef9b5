#!/usr/bin/env bash
# Starts Quillan from a build folder. Until the program's windows exist it
# converts the sample page that ships with the sources and prints its text.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
exec "$here/$build/bin/quillan-convert" -o - "$here/quillan/samples/sample.html"
