#!/usr/bin/env bash
# The show report: picture measures per timeline row from a capture, then the
# sound measures per section when bench/sound_report.sh is there.
# Usage: bench/show_report.sh DIR [show_report options]   (DIR from /capture DIR)
#        bench/show_report.sh --capture DIR RATE          (captures first, then reports)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--capture" ]; then
  [ $# -ge 3 ] || { echo "usage: bench/show_report.sh --capture DIR RATE" >&2; exit 1; }
  scripts/build.sh kestrivane kv_assets show_report >/dev/null
  rm -rf "$2"
  build/kestrivane /capture "$2" /rate "$3" 2>/dev/null
  set -- "$2"
fi
[ $# -ge 1 ] || { echo "usage: bench/show_report.sh DIR [--rate N] [--frames] [--from S] [--to S]" >&2; exit 1; }
[ -x build/show_report ] || scripts/build.sh show_report >/dev/null
status=0
build/show_report "$@" || status=$?
if [ -x bench/sound_report.sh ] && [ -f "$1/sound.wav" ]; then
  echo
  bench/sound_report.sh "$1/sound.wav" || status=$?
fi
exit $status
