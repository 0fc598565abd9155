#!/usr/bin/env bash
# Installs what the tests need (among it Xvfb, an X server in memory, so the
# real-window tests run without a display), builds everything and runs every
# test; then builds the fuzz harnesses with clang and runs each briefly on its
# corpus, runs the tests and a whole-show capture under the sanitizers, and
# compares the browser build's frames with the desktop's.
set -euo pipefail
cd "$(dirname "$0")"
KV_DEPS=test scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/fuzz.sh
scripts/sanitize.sh
# The browser build against the desktop frames, where Chromium can be installed.
if apt-cache show chromium >/dev/null 2>&1; then web/test.sh; fi
