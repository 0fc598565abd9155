#!/usr/bin/env bash
# Builds the show for web browsers into build-web/: index.html, kestrivane.js,
# kestrivane.wasm and kestrivane.data (the generated data set packed for the
# virtual file system).
#
# Everything comes from Debian: the emscripten package, and SDL2, mpg123 and
# libjpeg-turbo compiled to WebAssembly from their Debian source packages.
# The compiled libraries and emscripten's own system libraries are kept in
# KV_WEB_CACHE (default /var/cache/kestrivane-web), so only the first run on
# a machine builds them (several minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cache=${KV_WEB_CACHE:-/var/cache/kestrivane-web}
out=$root/build-web
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

log() { echo "web.sh: $*" >&2; }

# --- Debian packages ------------------------------------------------------
scripts/deps.sh
pkgs=(emscripten node-acorn dpkg-dev python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# --- emscripten set-up ------------------------------------------------------
# Debian's configuration freezes the system-library cache; ours is a copy
# whose cache lives in KV_WEB_CACHE and may be filled. Its JS optimiser needs
# Debian's acorn, which a node outside Debian does not find on its own.
mkdir -p "$cache"
export EM_CONFIG=$cache/emscripten.config
export NODE_PATH=/usr/share/nodejs
sed -e '/^FROZEN_CACHE/d' -e '/^CACHE *=/d' /usr/share/emscripten/.emscripten > "$EM_CONFIG.new"
printf "\nFROZEN_CACHE = False\nCACHE = '%s'\n" "$cache/emcache" >> "$EM_CONFIG.new"
if ! cmp -s "$EM_CONFIG.new" "$EM_CONFIG"; then mv "$EM_CONFIG.new" "$EM_CONFIG"; else rm "$EM_CONFIG.new"; fi
prefix=$cache/prefix
mkdir -p "$prefix" "$cache/src"

# --- libraries from Debian's source packages -------------------------------
# apt-get source needs a deb-src entry: when the machine has none, one is
# added beside its sources, copied from the deb.debian.org entries there.
ensure_deb_src() {
  if grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local src=/etc/apt/sources.list.d/debian.sources
  local dst=/etc/apt/sources.list.d/kestrivane-web-src.sources
  if [ -f "$src" ]; then
    sed 's/^Types: *deb$/Types: deb-src/' "$src" | $SUDO tee "$dst" >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    dst=/etc/apt/sources.list.d/kestrivane-web-src.list
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $SUDO tee "$dst" >/dev/null
  else
    log "no apt sources to copy a deb-src entry from"
    exit 1
  fi
  log "added $dst (deb-src copied from the machine's sources) for apt-get source"
  $SUDO apt-get update -qq
}

# Unpacks Debian's source of package into $cache/src/<package> (once).
fetch_source() {
  local package=$1 dir=$cache/src/$1
  if [ ! -f "$dir/.unpacked" ]; then
    ensure_deb_src
    rm -rf "$dir"
    mkdir -p "$dir"
    log "apt-get source $package"
    # A mirror may lack a detached signature that the .dsc lists; apt-get then
    # stops after fetching the tarballs, and they are unpacked here the way
    # dpkg-source would: upstream tarball, debian/ over it, patches in order.
    if ! (cd "$dir" && apt-get source -qq "$package" >"$dir/apt.log" 2>&1); then
      local orig deb tree
      orig=$(find "$dir" -maxdepth 1 -name '*.orig.tar.*' ! -name '*.asc' | head -n1)
      deb=$(find "$dir" -maxdepth 1 -name '*.debian.tar.*' | head -n1)
      if [ -z "$orig" ] || [ -z "$deb" ]; then
        cat "$dir/apt.log" >&2
        exit 1
      fi
      tree=$(basename "$orig" | sed 's/\.orig\.tar\..*//; s/_/-/')
      log "unpacking $(basename "$orig") by hand (apt-get source: $(grep -m1 '^E:' "$dir/apt.log"))"
      mkdir "$dir/$tree"
      tar -xf "$orig" -C "$dir/$tree" --strip-components=1
      tar -xf "$deb" -C "$dir/$tree"
      if [ -f "$dir/$tree/debian/patches/series" ]; then
        grep -v '^\s*#' "$dir/$tree/debian/patches/series" | while read -r patch _; do
          [ -n "$patch" ] && patch -d "$dir/$tree" -p1 -s < "$dir/$tree/debian/patches/$patch"
        done
      fi
    fi
    touch "$dir/.unpacked"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d | sort | head -n1
}

# Each library is built once per source version; a stamp file names it.
built() { [ -f "$prefix/.$1" ] && [ "$(cat "$prefix/.$1")" = "$2" ]; }

build_sdl2() {
  local src; src=$(fetch_source libsdl2)
  built sdl2 "$(basename "$src")" && return
  log "building SDL2 from $(basename "$src")"
  rm -rf "$cache/obj/sdl2"
  emcmake cmake -S "$src" -B "$cache/obj/sdl2" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_THREADS=OFF >/dev/null
  emmake make -C "$cache/obj/sdl2" -j2 install >/dev/null
  basename "$src" > "$prefix/.sdl2"
}

build_mpg123() {
  local src; src=$(fetch_source mpg123)
  built mpg123 "$(basename "$src")" && return
  log "building mpg123 from $(basename "$src")"
  rm -rf "$cache/obj/mpg123"
  # The decoder library only; for WebAssembly it picks the generic C decoder.
  # Its build expects check_type_size without including it, and the type
  # sizes are given as for libjpeg.
  mkdir -p "$cache/obj"
  echo 'include(CheckTypeSize)' > "$cache/obj/mpg123-include.cmake"
  emcmake cmake -S "$src/ports/cmake" -B "$cache/obj/mpg123" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_PROGRAMS=OFF \
    -DBUILD_LIBOUT123=OFF -DNO_MOREINFO=ON \
    -DCMAKE_PROJECT_INCLUDE="$cache/obj/mpg123-include.cmake" \
    -DHAVE_SIZEOF_LONG=TRUE -DSIZEOF_LONG=4 -DHAVE_SIZEOF_OFF_T=TRUE -DSIZEOF_OFF_T=8 >/dev/null
  emmake make -C "$cache/obj/mpg123" -j2 install >/dev/null
  basename "$src" > "$prefix/.mpg123"
}

build_jpeg() {
  local src; src=$(fetch_source libjpeg-turbo)
  built jpeg "$(basename "$src")" && return
  log "building libjpeg-turbo from $(basename "$src")"
  rm -rf "$cache/obj/jpeg"
  # The type sizes are given: CMake's probe runs the test program under node
  # and misreads its answer.
  emcmake cmake -S "$src" -B "$cache/obj/jpeg" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF \
    -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4 >/dev/null
  emmake make -C "$cache/obj/jpeg" -j2 jpeg-static >/dev/null
  # Only the library and its headers: installing would build every tool.
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$cache/obj/jpeg/libjpeg.a" "$prefix/lib/"
  cp "$cache/obj/jpeg/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" \
    "$prefix/include/"
  basename "$src" > "$prefix/.jpeg"
}

build_sdl2
build_mpg123
build_jpeg

# --- the data set -----------------------------------------------------------
# The generator is a native program; its output is the same data the desktop
# build reads.
scripts/build.sh kv_assetgen >/dev/null
mkdir -p "$out/data"
if [ ! -f "$out/data/.stamp" ] || [ "$root/build/kv_assetgen" -nt "$out/data/.stamp" ]; then
  log "generating the data set"
  rm -rf "$out/data"
  mkdir -p "$out/data"
  build/kv_assetgen "$out/data"
  touch "$out/data/.stamp"
fi

# --- the program --------------------------------------------------------------
emcmake cmake -S web -B "$out/obj" -DCMAKE_BUILD_TYPE=Release -DKV_WEB_PREFIX="$prefix" \
  -DKV_WEB_OUT="$out" >/dev/null
cmake --build "$out/obj" -j2
log "built $out (index.html, kestrivane.js, kestrivane.wasm, kestrivane.data)"
