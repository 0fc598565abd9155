#!/usr/bin/env bash
# Installs the Debian packages that are missing, and only those:
#   scripts/deps.sh run    what building and playing or capturing the show needs
#   scripts/deps.sh test   that, and what the tests, benchmarks and fuzzers need,
#                          with an X server in memory for the real-window tests
#                          (the default)
set -euo pipefail
set_name=${1:-test}
run=(build-essential cmake pkg-config
     libsdl2-dev libmpg123-dev libjpeg-dev libpng-dev libmp3lame-dev ffmpeg)
test=(clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev
      xvfb xdotool evilwm desktop-file-utils groff-base  # window tests: virtual display, key presses, a window manager
      valgrind)  # the memory-error run of the show on a picture left undecoded
case "$set_name" in
  run) pkgs=("${run[@]}") ;;
  test) pkgs=("${run[@]}" "${test[@]}") ;;
  *) echo "usage: scripts/deps.sh [run|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
