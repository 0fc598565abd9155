#!/usr/bin/env bash
# Sound report: measures the show's soundtrack per section of the music plan
# (one section per scene change) and flags what misses the targets.
#   bench/sound_report.sh [FILE]
# FILE is the generated MP3 (default build/music/elt56.mp3, decoded as the
# show decodes it) or a capture's sound.wav. Per section: integrated loudness
# and true peak (ffmpeg's ebur128), the share of energy below 150 Hz, the
# 2-6 kHz band against the whole, the similarity of the spectrogram with
# itself four bars later over the whole section (sim4) and its largest value
# for one phrase against the next (pair), the longest run of plays of one
# phrase verbatim (reps: similarity to the phrase before above 0.95), and
# the onset at the section's cut (offset and strength). Targets: -20..-12 LUFS
# per section (the quiet break exempt, the intro may be quieter), -16..-14
# LUFS over the show, true peak at most -1 dBTP, 2-6 kHz at most 15 dB under
# the whole, both similarities below 0.9, no phrase played more than twice in a row,
# an onset of at least 6 dB within 5 ms of each cut, silence after the end.
set -euo pipefail
given=${1:+$(realpath -m "$1")}  # relative to the caller's directory
cd "$(dirname "$0")/.."
build=${KV_BUILD_DIR:-build}
file=${given:-$build/music/elt56.mp3}
[ -f "$file" ] || { echo "sound_report: no file $file" >&2; exit 1; }
if [ ! -x "$build/kv_sound_report" ] || [ bench/sound_report.cpp -nt "$build/kv_sound_report" ] ||
   [ tools/music_plan.h -nt "$build/kv_sound_report" ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target kv_sound_report >/dev/null
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
case "$file" in
  *.mp3 | *.MP3) "$build/kv_sound_report" decode "$file" "$tmp/sound.wav" ;;
  *) ffmpeg -nostdin -v error -i "$file" -ac 2 -ar 44100 -c:a pcm_s16le "$tmp/sound.wav" ;;
esac
"$build/kv_sound_report" measure "$tmp/sound.wav" >"$tmp/measures"

# Integrated loudness and true peak of [start, end) of the decoded sound.
loudness() {
  ffmpeg -nostdin -hide_banner -nostats -ss "$1" -t "$(awk -v a="$1" -v b="$2" 'BEGIN { print b - a }')" \
    -i "$tmp/sound.wav" -af ebur128=peak=true -f null - 2>&1 |
    awk '/^ *I:/ { i = $2 } /^ *Peak:/ { p = $2 } END { print i, p }'
}

quiet=$(sed -n 's/.*kMusicQuietSection = \([0-9]*\).*/\1/p' tools/music_plan.h)
while read -r s t0 t1 rest; do
  [ "$s" = tail ] && continue
  echo "$s $t0 $t1 $rest $(loudness "$t0" "$t1")"
done <"$tmp/measures" >"$tmp/rows"
show_end=$(awk '$1 != "tail" { e = $3 } END { print e }' "$tmp/measures")
whole=$(loudness 0 "$show_end")
tail_line=$(grep '^tail' "$tmp/measures")

awk -v quiet="$quiet" -v whole="$whole" -v tail_line="$tail_line" -v file="$file" '
BEGIN {
  print "sound report: " file
  printf "%-15s %7s %7s %6s %7s %6s %6s %5s %8s %6s  %s\n", "section (s)", "LUFS", "dBTP", "<150Hz", "2-6kHz", "sim4", "pair", "reps",
    "onset ms", "dB", "flags"
}
{
  s = $1; t0 = $2; t1 = $3; low = $4; hi = $5; sim = $6; pair = $7; run = $8; off = $9; str = $10; lufs = $11; tp = $12
  f = ""
  if (s != quiet && (lufs > -12 || (s != 0 && lufs < -20))) f = f " loudness"
  if (tp > -1.0) f = f " peak"
  if (s != quiet && hi < -15) f = f " dull"
  if (sim >= 0.9 || pair >= 0.9) f = f " repetitive"
  if (run > 1) f = f " verbatim"
  if (s > 0 && (str < 6 || off > 5 || off < -5)) f = f " onset"
  if (f != "") flagged++
  os = "-"; ss = "-"
  if (s > 0) { os = sprintf("%+.1f", off); ss = sprintf("%.1f", str) }
  printf "%6.1f-%-8.1f %7.1f %7.1f %5.0f%% %7.1f %6.3f %6.3f %5d %8s %6s %s\n", t0, t1, lufs, tp, low, hi, sim, pair, run + 1,
    os, ss, (f == "" ? "ok" : substr(f, 2))
}
END {
  split(whole, w, " ")
  split(tail_line, z, " ")
  f = ""
  if (w[1] < -16 || w[1] > -14) f = f " loudness"
  if (w[2] > -1.0) f = f " peak"
  if (z[3] > -70) f = f " not-silent-after-end"
  if (f != "") flagged++
  printf "%-15s %7.1f %7.1f   last 0.5 s %.1f dBFS, after the end %.1f dBFS  %s\n", "whole show", w[1], w[2], z[2], z[3],
    (f == "" ? "ok" : substr(f, 2))
  printf "flagged rows: %d\n", flagged
}' "$tmp/rows"
