#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) and runs them under a fake home.
# Usage: bench/run.sh [NAME...]   (NAME: catalogue, creation, app; default: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
export LEMVORA_WINDOW_SHOT="$PWD/build-bench/Lemvora.app/Contents/MacOS/lemvora-window-shot"
for name in ${@:-catalogue creation app}; do
    echo "== $name"
    tests/support/with-fake-home.sh "build-bench/bench/${name}_bench"
done
