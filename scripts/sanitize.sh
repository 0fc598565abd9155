#!/usr/bin/env bash
# The sanitizer gate: builds the show and its tests with clang at -O1 under
# AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer into
# build-asan/, runs the tests, then renders the whole show at two frames a
# second under them. Any report fails the run. The asset set is copied from
# build/ (made by scripts/build.sh) rather than generated again, and the
# asset generator's own tests and the benchmarks are left to the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
start=$SECONDS
root=$PWD
out=build-asan
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
# The compilers are named on the first configure only: naming them again
# makes CMake drop its cache and rebuild everything.
compilers=()
[ -f "$out/CMakeCache.txt" ] || compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
cmake -S . -B "$out" "${compilers[@]}" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DKV_BENCH=OFF -DKV_ASSETS=OFF >/dev/null
targets=(kestrivane)
for src in tests/*_test.cpp; do
  group=$(basename "$src"); group=${group%%_*}
  [ "$group" = tools ] && continue
  [[ " ${targets[*]} " == *" test_$group "* ]] || targets+=("test_$group")
done
cmake --build "$out" -j"$(nproc)" --target "${targets[@]}" >"$out/build.log" 2>&1 \
  || { tail -40 "$out/build.log"; exit 1; }

# The generated data beside the sanitized executable, as in build/.
[ -f build/assets.stamp ] || scripts/build.sh kv_assets >/dev/null
for dir in build/*/; do
  name=$(basename "$dir")
  [ -d "$dir/CMakeFiles" ] && continue
  rm -rf "${out:?}/$name"
  cp -r "$dir" "$out/$name"
done
# The marker that says the directory holds a whole data set.
cp build/kestrivane.data "$out/"
# music/ is both a library folder and a data folder: copy the soundtrack.
mkdir -p "$out/music"
cp build/music/*.mp3 "$out/music/"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:exitcode=86:detect_stack_use_after_return=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=87"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"

# SDL's X11 video loads the GL libraries, and through them Mesa's software
# driver, when a window opens, and unloads them when it closes: what they
# keep for the process is then reported as leaked from "<unknown module>",
# which no suppression can name. Loaded from the start, they stay until the
# process ends, their memory stays reachable, and any leak of theirs is
# reported under their own names. Every test runs with all three checks.
multiarch=$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)
keep=()
for lib in libGL.so.1 libEGL.so.1 libGLX_mesa.so.0 libEGL_mesa.so.0 dri/swrast_dri.so; do
  [ -e "/usr/lib/$multiarch/$lib" ] && keep+=("/usr/lib/$multiarch/$lib")
done
# The install test installs the plain build's tree (this one has no data rules);
# the valgrind test runs in the plain suite (valgrind cannot run these binaries).
skip='_NOT_BUILT$|^Install[.]|UnderValgrind$'
(cd "$out" && LD_PRELOAD="${keep[*]}" ctest --output-on-failure -j"$(nproc)" -E "$skip") \
  || { echo "sanitizer tests FAILED" >&2; exit 1; }
echo "sanitizer tests passed"

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
log="$out/capture.log"
if ! "$out/kestrivane" /capture "$frames" /rate 2 >"$log" 2>&1; then
  tail -40 "$log"; echo "sanitizer whole-show capture FAILED" >&2; exit 1
fi
if grep -E "runtime error|ERROR: (Address|Leak)Sanitizer" "$log" >/dev/null; then
  grep -E -A20 "runtime error|ERROR: (Address|Leak)Sanitizer" "$log" | head -60
  echo "sanitizer whole-show capture FAILED" >&2; exit 1
fi
count=$(find "$frames" -name '*.png' | wc -l)
[ "$count" -eq 534 ] || { echo "sanitizer capture wrote $count frames, not 534" >&2; exit 1; }
echo "sanitizer whole-show capture passed ($count frames)"

# A capture draws on one core. A timedemo draws the 3D scenes on two and
# mixes its music on a thread of its own: the whole show that way too.
log="$out/timedemo.log"
if ! "$out/kestrivane" /timedemo /rate 2 >"$log" 2>&1; then
  tail -40 "$log"; echo "sanitizer whole-show timedemo FAILED" >&2; exit 1
fi
if grep -E "runtime error|ERROR: (Address|Leak)Sanitizer" "$log" >/dev/null; then
  grep -E -A20 "runtime error|ERROR: (Address|Leak)Sanitizer" "$log" | head -60
  echo "sanitizer whole-show timedemo FAILED" >&2; exit 1
fi
grep -q "^frames: 534$" "$log" || { echo "sanitizer timedemo did not time 534 frames" >&2; exit 1; }
echo "sanitizer whole-show timedemo passed"
echo "sanitizer pass took $((SECONDS - start)) s"
