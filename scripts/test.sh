#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plainly, once under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the standard library's own checks); then
# builds everything once more with clang 19, and once more with clang 22.
# Then, when the macOS SDK lies beside the repository (../shared/macos-sdk), the macOS
# cross-check: both bundles built with it, by clang 19 and by clang 22, and checked.
#
# LEMVORA_FORBID_SKIPS=1 (CI sets it) turns any skipped test into a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(uname)" = Darwin ]; then
    echo "scripts/test.sh is Debian's; on a Mac run: cmake --preset default &&" \
        "cmake --build --preset default && ctest --preset default (README: Tests on a Mac)" >&2
    exit 2
fi
scripts/install-deps.sh

jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in default asan; do
    echo "== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset: test"
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
    if grep -q '\*\*\*Skipped' "$log"; then
        if [ "${LEMVORA_FORBID_SKIPS:-0}" = 1 ]; then
            echo "== a test was skipped, and here every test must run" >&2
            exit 1
        fi
        echo "== note: some tests were skipped (listed above)"
    fi
done

# Built, tests included, by clang 22 with warnings as errors too: a Mac builds with Apple clang 21
# (Xcode 26.4), which warns as clang 21 and later do, or Apple clang 17 (Xcode 16), which is LLVM
# 19-based; both warn where g++ does not. (Their tests are the ones run above.) clang 22 builds
# the benchmarks too, so that the one warning they switch off for it (bench/CMakeLists.txt) stays
# the only one. clang 19 builds every portable source in the macOS cross-check below; without the
# SDK, it builds the Linux code instead. Built, not run: without optimisation or debug
# information (clang's warnings come from its front end, whatever the optimisation), and with
# NDEBUG, as a release build has it.
sdk_archive=../shared/macos-sdk/macos-sdk-12.0.tar.xz
presets=(clang22)
[ -f "$sdk_archive" ] || presets=(clang clang22)
for preset in "${presets[@]}"; do
    compiler=$(cmake --preset "$preset" -N | sed -n 's/^ *CMAKE_CXX_COMPILER="\(.*\)"$/\1/p')
    echo "== $preset: build with $("$compiler" --version | head -n 1)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

if [ -f "$sdk_archive" ]; then
    echo "== macOS: cross-check with the SDK beside the repository"
    sdk_dir=$(mktemp -d)
    trap 'rm -f "$log"; rm -rf "$sdk_dir"' EXIT
    tar -xJf "$sdk_archive" -C "$sdk_dir"
    scripts/macos-crosscheck.sh "$sdk_dir/root"
else
    echo "== macOS: no SDK at $sdk_archive, so no macOS cross-check (the Linux tests ran)"
fi
