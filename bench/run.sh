#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) and runs them under a fake home.
# Usage: bench/run.sh [NAME...]   (NAME: catalogue, creation; default: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
for name in "${@:-catalogue creation}"; do
    for n in $name; do
        echo "== $n"
        tests/support/with-fake-home.sh "build-bench/bench/${n}_bench"
    done
done
