#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the captures need,
# and only those that are missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config clang libclang-rt-14-dev
      libsdl2-dev libmpg123-dev libjpeg-dev libpng-dev libmp3lame-dev
      libgtest-dev libgmock-dev libbenchmark-dev libpixman-1-dev ffmpeg)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
