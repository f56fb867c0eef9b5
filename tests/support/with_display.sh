#!/usr/bin/env bash
# with_display.sh COMMAND [ARG...]
# Runs COMMAND with DISPLAY naming an X server of its own, and stops the
# server afterwards; exits with COMMAND's status. Xvfb chooses a free display
# number itself and writes it to a descriptor (-displayfd), so tests started
# at the same moment never race for one (as xvfb-run -a can: it tests for a
# lock file, then starts the server).
set -euo pipefail
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/log" &
server=$!
# The number arrives with a line end once the server listens.
for _ in $(seq 200); do
  if grep -q . "$work/display" 2>/dev/null && [ "$(tail -c 1 "$work/display" | od -An -c | tr -d ' ')" = '\n' ]; then
    break
  fi
  kill -0 "$server" 2>/dev/null || { cat "$work/log" >&2; echo "with_display.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
display=$(tr -d '[:space:]' < "$work/display")
[ -n "$display" ] || { echo "with_display.sh: Xvfb gave no display within 10 s" >&2; exit 1; }
status=0
DISPLAY=":$display" "$@" || status=$?
exit "$status"
