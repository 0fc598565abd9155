#!/usr/bin/env bash
# Installs what the tests need (among it Xvfb, an X server in memory, so the
# real-window tests run without a display), builds everything and runs every
# test; then builds the fuzz harnesses with clang and runs each briefly on its
# seed corpus.
set -euo pipefail
cd "$(dirname "$0")"
KV_DEPS=test scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/fuzz.sh
# The browser build against the desktop frames, where Chromium can be installed.
if apt-cache show chromium >/dev/null 2>&1; then web/test.sh; fi
