#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, address and undefined sanitizers)
# into build-fuzz/ and runs each for a short fixed time on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KV_FUZZ_SECONDS:-20}
ls fuzz/fuzz_*.cpp >/dev/null 2>&1 || { echo "no fuzz harnesses"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKV_FUZZ=ON -DKV_ASSETS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
for src in fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  [ -d "fuzz/seeds/${name#fuzz_}" ] && cp -n fuzz/seeds/"${name#fuzz_}"/* "$corpus"/ 2>/dev/null || true
  [ -x "build-fuzz/seed_$name" ] && "build-fuzz/seed_$name" "$corpus" || true
  echo "fuzzing $name for ${seconds}s" >&2
  "build-fuzz/$name" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>build-fuzz/$name.log \
    || { tail -40 build-fuzz/$name.log; exit 1; }
done
echo "fuzzing passed"
