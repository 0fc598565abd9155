#!/usr/bin/env bash
# Builds the show and its data, then plays it: in a window when there is a
# display, otherwise as an offline capture to kestrivane.mp4.
set -euo pipefail
cd "$(dirname "$0")"
scripts/build.sh kestrivane kv_assets
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
  exec build/kestrivane /window
elif [ $# -gt 0 ]; then
  exec build/kestrivane "$@"
else
  echo "No display: capturing the show to kestrivane.mp4" >&2
  exec build/kestrivane /capture kestrivane.mp4
fi
