#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, address and undefined sanitizers)
# into build-fuzz/ and runs each for a short fixed time on its corpus: the
# minimised corpus kept in fuzz/corpus/<reader>/ plus the hand-made seeds in
# fuzz/seeds/<reader>/.
#   KV_FUZZ_SECONDS=n   time per harness (default 10)
#   KV_FUZZ_ONLY=name   run one harness (e.g. pcx)
#   KV_FUZZ_MERGE=1     afterwards minimise what the run found back into
#                       fuzz/corpus/<reader>/ (for longer runs in development)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KV_FUZZ_SECONDS:-10}
ls fuzz/fuzz_*.cpp >/dev/null 2>&1 || { echo "no fuzz harnesses"; exit 0; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKV_FUZZ=ON -DKV_ASSETS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
for src in fuzz/fuzz_*.cpp; do
  name=$(basename "$src" .cpp)
  reader=${name#fuzz_}
  [ -n "${KV_FUZZ_ONLY:-}" ] && [ "$reader" != "$KV_FUZZ_ONLY" ] && continue
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  for kept in fuzz/corpus/"$reader" fuzz/seeds/"$reader"; do
    [ -d "$kept" ] && cp -n "$kept"/* "$work"/ 2>/dev/null || true
  done
  [ -x "build-fuzz/seed_$name" ] && "build-fuzz/seed_$name" "$work" || true
  echo "fuzzing $name for ${seconds}s" >&2
  "build-fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>"build-fuzz/$name.log" \
    || { tail -40 "build-fuzz/$name.log"; exit 1; }
  grep -E "stat::number_of_executed_units|^#[0-9]+ +DONE" "build-fuzz/$name.log" | tr '\n' ' ' >&2; echo >&2
  if [ -n "${KV_FUZZ_MERGE:-}" ]; then
    mkdir -p fuzz/corpus/"$reader"
    "build-fuzz/$name" -merge=1 fuzz/corpus/"$reader" "$work" 2>>"build-fuzz/$name.log" >/dev/null
  fi
done
echo "fuzzing passed"
