#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plainly, once under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the standard library's own checks). Then,
# when the macOS SDK lies beside the repository (../shared/macos-sdk), the macOS cross-check: both
# bundles built with it, by clang 19 and by clang 22, and checked. Last, the Linux code built by
# clang 22 (and by clang 19, without the SDK), for their warnings.
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
# the only one. Built, not run: without optimisation or debug information (clang's warnings come
# from its front end, whatever the optimisation), and with NDEBUG, as a release build has it.
#
# With the macOS SDK beside the repository (../shared/macos-sdk), the macOS cross-check comes
# first: both bundles and their tests built with it, by clang 19 and by clang 22, and checked.
# clang 22 then compiles on Linux only the sources that build did not (Linux's platform layer,
# the finder host, their tests, the benchmarks): each source once. Without the SDK, clang 19 and
# clang 22 each build all of the Linux code.
sdk_archive=../shared/macos-sdk/macos-sdk-12.0.tar.xz
clang_build() { # PRESET [TARGET...]
    local compiler
    compiler=$(cmake --preset "$1" -N | sed -n 's/^ *CMAKE_CXX_COMPILER="\(.*\)"$/\1/p')
    echo "== $1: build with $("$compiler" --version | head -n 1)${2:+ (what the macOS build did not compile)}"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs" ${2:+--target "${@:2}"}
}
if [ -f "$sdk_archive" ]; then
    echo "== macOS: cross-check with the SDK beside the repository"
    sdk_dir=$(mktemp -d)
    trap 'rm -f "$log"; rm -rf "$sdk_dir"' EXIT
    tar -xJf "$sdk_archive" -C "$sdk_dir"
    scripts/macos-crosscheck.sh "$sdk_dir/root"
    cmake --preset clang22 >/dev/null
    # The objects of the sources the macOS build with LLVM 22 did not compile.
    mapfile -t linux_only < <(python3 -c 'import json, shlex, sys
from pathlib import Path
linux, mac = (json.loads((Path(d) / "compile_commands.json").read_text()) for d in sys.argv[1:])
compiled = {c["file"] for c in mac}
for c in linux:
    if c["file"] not in compiled:
        words = shlex.split(c["command"])
        print(words[words.index("-o") + 1])' build-clang22 build-macos-clang22)
    [ ${#linux_only[@]} -ne 0 ] || { echo "== clang22: no source of Linux's own found" >&2; exit 1; }
    clang_build clang22 "${linux_only[@]}"
else
    clang_build clang
    clang_build clang22
    echo "== macOS: no SDK at $sdk_archive, so no macOS cross-check (the Linux tests ran)"
fi
