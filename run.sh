#!/usr/bin/env bash
# Builds the show and its data, then plays it: in a window when there is a
# display, otherwise as an offline capture to kestrivane.mp4. Only the
# packages the show needs are installed, and the build reports on standard
# error, so the show's own output (./run.sh /help | head) stays clean.
set -euo pipefail
cd "$(dirname "$0")"
# ./run.sh /web: the show for browsers, served on this machine only.
if [ "${1:-}" = "/web" ]; then
  scripts/web.sh
  port=${KV_WEB_PORT:-8266}
  echo "Kestrivane in a browser: http://127.0.0.1:$port/ (Ctrl-C stops the server)"
  exec python3 -m http.server --bind 127.0.0.1 --directory build-web "$port"
fi
KV_DEPS=run scripts/build.sh kestrivane kv_assets >&2
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  exec build/kestrivane /window
elif [ $# -gt 0 ]; then
  exec build/kestrivane "$@"
else
  echo "No display: capturing the show to kestrivane.mp4" >&2
  exec build/kestrivane /capture kestrivane.mp4
fi
