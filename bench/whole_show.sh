#!/usr/bin/env bash
# Whole-show benchmark of record: the show's own /timedemo renders the entire
# script offline at a fixed frame rate (default 60) as fast as it goes and
# prints each timeline row's frame times and the totals (frames/s, mean,
# 99th percentile and worst frame, start-up, peak memory). The machine's load
# is printed first, since the figures depend on it.
# Usage: bench/whole_show.sh [rate] [switches...], e.g. bench/whole_show.sh 60 /from 72.6 /to 87
set -euo pipefail
cd "$(dirname "$0")/.."
rate=${1:-60}
shift || true
[ -x build/kestrivane ] || scripts/build.sh kestrivane kv_assets >&2
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)  cores: $(nproc)"
build/kestrivane /timedemo /rate "$rate" "$@"
