#!/usr/bin/env bash
# Builds everything and runs every test; then builds the fuzz harnesses with
# clang and runs each briefly on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")"
scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/fuzz.sh
scripts/sanitize.sh
