#!/usr/bin/env bash
# Makes the About box's "System Info..." button open a real System
# Information tool: records HardInfo's full path in the user's registry, at
# HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO, value PATH, unless the value
# there still names a program that is there (a working value is never
# replaced). Without HardInfo it says so and leaves the registry alone.
#   record-sysinfo.sh BIN_FOLDER
set -euo pipefail
bin=${1:?usage: record-sysinfo.sh BIN_FOLDER}

if tool=$(command -v hardinfo); then
  "$bin/sysinfo-record" "$tool"
else
  echo "System Information tool: hardinfo is not installed (scripts/setup.sh installs it)" >&2
fi
