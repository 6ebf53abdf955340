#!/usr/bin/env bash
# Compiles every macOS source and links Lemvora.app with LemvoraMenu.appex on Linux, against
# the macOS SDK, with warnings as errors. This proves the code compiles and links against the
# real frameworks; it does not run it (that needs a Mac). Signing is skipped here.
#
# Usage: scripts/macos-crosscheck.sh SDK_ROOT
#   SDK_ROOT: a macOS SDK folder (holding System/ and usr/), such as the root/ folder of the
#   public repository hexops-graveyard/sdk-macos-12.0. Nothing from it belongs in this repo.
set -euo pipefail
sdk=$(realpath -- "${1:?usage: scripts/macos-crosscheck.sh SDK_ROOT}")
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build-macos
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/macos-cross.cmake" -DLEMVORA_MACOS_SDK="$sdk" \
    -DLEMVORA_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build"
echo
find "$build/Lemvora.app" | sort
echo
file "$build/Lemvora.app/Contents/MacOS/Lemvora" \
    "$build/Lemvora.app/Contents/PlugIns/LemvoraMenu.appex/Contents/MacOS/LemvoraMenu"
