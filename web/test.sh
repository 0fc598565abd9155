#!/usr/bin/env bash
# The browser test: builds the web version (scripts/web.sh) and the desktop
# program, captures the desktop frames at 2 frames per second, then plays the
# show in headless Chromium on the same virtual clock and compares twenty
# frames spread over the script (every kind of effect) pixel for pixel; it
# also checks that Start started the sound, that the show ended cleanly and
# that the page logged no error.
#
#   web/test.sh                 the test
#   web/test.sh shot S FILE     a screenshot of the page at S seconds
#   web/test.sh bench [RATE]    rendering rate of the whole show (default 60), browser
#                               and desktop (/timedemo /nosound)
set -euo pipefail
cd "$(dirname "$0")/.."
begin=$(date +%s)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

need=()
dpkg-query -W -f='${Status}' chromium 2>/dev/null | grep -q "install ok installed" || need+=(chromium)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "web test: installing ${need[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi

scripts/web.sh
(cd web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory build-web "$port" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/index.html')" \
    2>/dev/null && break
  sleep 0.1
done
url=http://127.0.0.1:$port/index.html

case "${1:-test}" in
  shot)
    node web/drive.mjs shot "$url" "$2" 60 "$3"
    ;;
  bench)
    # The browser's rate, then the desktop's render-only rate on the same
    # clock (/timedemo without sound, as the page benchmark runs).
    node web/drive.mjs bench "$url" "${2:-60}"
    scripts/build.sh kestrivane kv_assets >/dev/null
    build/kestrivane /timedemo /nosound /rate "${2:-60}" | grep -E '^(frames|frames/s|mean frame):'
    ;;
  test)
    # Twenty frames at 2 per second: titles, close catwalk, zoomed picture,
    # texture warp with faces, warp stack with flares, flares, portrait with
    # words, morph, city, dancer, catwalk, box dancer, metaballs, blue picture,
    # dots over texture, lens warp and rotozoom, silhouettes with flowers,
    # dance floor, picture fade, end scroller.
    turns=6,36,61,67,80,100,125,131,152,177,214,274,310,340,354,362,378,420,477,520
    scripts/build.sh kestrivane kv_assets >/dev/null
    native=build-web/native-rate2
    if [ ! -f "$native/done" ] || [ build/kestrivane -nt "$native/done" ] ||
       [ build/assets.stamp -nt "$native/done" ]; then
      rm -rf "$native"
      build/kestrivane /capture "$native" /rate 2 /nosound 2>/dev/null
      touch "$native/done"
    fi
    # The SIMD routines (WebAssembly SIMD), then the plain ones (?nommx).
    node web/drive.mjs compare "$url" "$native" 2 "$turns"
    node web/drive.mjs compare "$url?nommx" "$native" 2 "$turns" | tail -n 1
    echo "web test: $(( $(date +%s) - begin )) s" >&2
    ;;
  *)
    echo "usage: web/test.sh [test | shot SECONDS FILE | bench [RATE]]" >&2
    exit 2
    ;;
esac
