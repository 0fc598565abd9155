#!/usr/bin/env bash
# Configures and builds into build/: everything, or only the targets named
# (the show alone needs kestrivane and kv_assets, its generated data).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
