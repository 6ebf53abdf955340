#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers), runs them under a fake home, and prints each
# one's ratio to its baseline from the same run.
# Usage: bench/run.sh [NAME...]   (NAME: catalogue, creation, app; default: all of them)
#
# So that one run gives the figures a second would: the build's writes reach the disk before
# anything is measured (sync; the benchmarks sync their own setup's files too), each benchmark runs
# untimed for a while first (warm caches), and each figure is the median of five repetitions, run
# in random order among the benchmarks of the same program so that a benchmark and its baseline
# meet the same moments of a busy machine (Google Benchmark's
# --benchmark_enable_random_interleaving).
set -euo pipefail
cd "$(dirname "$0")/.."
# Quiet when the build succeeds; when it fails, its own messages are what the reader needs.
build_log=$(mktemp)
trap 'rm -f "$build_log"' EXIT
{ cmake --preset bench && cmake --build --preset bench; } >"$build_log" 2>&1 || {
    cat "$build_log" >&2
    echo "bench/run.sh: the benchmarks did not build (messages above)" >&2
    exit 1
}
export LEMVORA_WINDOW_SHOT="$PWD/build-bench/Lemvora.app/Contents/MacOS/lemvora-window-shot"
export LEMVORA_FAKE_PASSWD_LIBRARY="$PWD/build-bench/bench/liblemvora_bench_passwd.dylib" # Mac
results=$(mktemp -d)
trap 'rm -rf "$results" "$build_log"' EXIT
sync
for name in ${@:-catalogue creation app}; do
    echo "== $name"
    tests/support/with-fake-home.sh "build-bench/bench/${name}_bench" \
        --benchmark_min_warmup_time=0.2 --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/$name.json" --benchmark_out_format=json
done
echo "== ratios to the baselines"
python3 bench/ratios.py "$results"/*.json
