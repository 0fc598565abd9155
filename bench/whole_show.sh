#!/usr/bin/env bash
# Whole-show benchmark: renders the entire script offline at a fixed frame
# rate (default 60) into a throw-away PNG directory and reports the wall time,
# the rendering rate and the peak memory. Usage: bench/whole_show.sh [rate] [switches...]
set -euo pipefail
cd "$(dirname "$0")/.."
rate=${1:-60}
shift || true
[ -x build/kestrivane ] || scripts/build.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
start=$(date +%s.%N)
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "%M" -o "$out/maxrss" build/kestrivane /capture "$out/frames" /rate "$rate" "$@" 2>/dev/null
else
  echo 0 >"$out/maxrss"  # peak memory needs the time package
  build/kestrivane /capture "$out/frames" /rate "$rate" "$@" 2>/dev/null
fi
end=$(date +%s.%N)
frames=$(find "$out/frames" -name 'frame-*.png' | wc -l)
awk -v s="$start" -v e="$end" -v f="$frames" -v m="$(cat "$out/maxrss")" 'BEGIN {
  t = e - s
  printf "frames: %d  wall: %.1f s  rate: %.1f frames/s  peak memory: %.1f MiB\n", f, t, f / t, m / 1024
}'
