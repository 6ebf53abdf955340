#!/usr/bin/env bash
# Builds and runs the benchmarks (Release, no sanitizers) under a fake home.
# Usage: bench/run.sh [google-benchmark flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target catalogue_bench >/dev/null
exec tests/support/with-fake-home.sh build-bench/bench/catalogue_bench "$@"
