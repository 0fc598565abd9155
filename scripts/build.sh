#!/usr/bin/env bash
# Configures and builds into build/: everything, or only the targets named
# (the show alone needs kestrivane and kv_assets, its generated data).
# KV_DEPS=run installs only the packages the show needs (run.sh); the default
# also installs those of the tests, benchmarks and fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh "${KV_DEPS:-test}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
