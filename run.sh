#!/usr/bin/env bash
# Builds the show and its data, then plays it: in a window when there is a
# display, otherwise as an offline capture to kestrivane.mp4. Only the
# packages the show needs are installed, and the build reports on standard
# error, so the show's own output (./run.sh /help | head) stays clean.
set -euo pipefail
cd "$(dirname "$0")"
KV_DEPS=run scripts/build.sh kestrivane kv_assets >&2
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  exec build/kestrivane /window
elif [ $# -gt 0 ]; then
  exec build/kestrivane "$@"
else
  echo "No display: capturing the show to kestrivane.mp4" >&2
  exec build/kestrivane /capture kestrivane.mp4
fi
