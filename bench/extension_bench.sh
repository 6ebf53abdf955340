#!/usr/bin/env bash
# Builds (Release) and runs the extension benchmark under a fake home.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target LemvoraMenu lemvora-finder lemvora-catalog >/dev/null
exec tests/support/with-fake-home.sh python3 bench/extension_bench.py "$PWD/build-bench"
