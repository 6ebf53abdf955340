#!/usr/bin/env bash
# Builds Lemvora.app with LemvoraMenu.appex for macOS on Linux, universal (arm64 and x86_64),
# against the macOS SDK, then checks the result (scripts/macos-checks.py). It does so twice: with
# LLVM 19 (as Xcode 16's Apple clang 17) in build-macos, and with LLVM 22, the newest Debian 12
# offers, which warns as Xcode 26.4's Apple clang 21 does, in build-macos-clang22. Fails on any
# warning, compile or link error, or failed check. This proves the code compiles and links against
# the real frameworks and that the bundles are put together as a Mac needs them; it does not run
# anything (that needs a Mac). Signing is skipped here. Last, each check is fed the fault it
# exists for, and must fail on it (macos-checks.py --self-test): twice, with the self-test's
# programs as LLVM's linker writes them, and as ../shared/tools/apple-linker-form rewrites them
# into the form of Apple's linker (a clang wrapper written apart from our Mach-O code). The
# self-test runs once: it tests the checks, which read both builds alike.
#
# Usage: scripts/macos-crosscheck.sh SDK_ROOT [LLVM...]
#   SDK_ROOT: a macOS SDK folder (holding System/ and usr/), such as the root/ folder of
#   ../shared/macos-sdk/macos-sdk-12.0.tar.xz once unpacked. Nothing from it belongs in this repo.
#   LLVM: the releases to build with, 19 and 22 by default (one alone, when fixing its warnings).
set -euo pipefail
sdk=$(realpath -- "${1:?usage: scripts/macos-crosscheck.sh SDK_ROOT}")
cd "$(dirname "$0")/.."
apple_form=$(realpath -m ../shared/tools/apple-linker-form)
[ -x "$apple_form/clang" ] || {
    echo "macOS cross-check: the self-test's second run needs $apple_form/clang" >&2
    exit 1
}
scripts/install-deps.sh
releases=("${@:2}")
[ ${#releases[@]} -ne 0 ] || releases=(19 22)
log=$(mktemp)
rewritten=$(mktemp)
trap 'rm -f "$log" "$rewritten"' EXIT
# The signing commands run too, with a stand-in for codesign and an identity shaped as Apple's.
# The build folder keeps what the stand-in needs (its log, in the folder, and the identity), so
# that `cmake --build build-macos` by hand, after a change, signs as this script does.
identity="Developer ID Application: Ad Soyad (AB12CD34EF)"
built=()
for release in "${releases[@]}"; do
    case $release in
        19) build=build-macos optimised=() ;;
        # LLVM 22 is here for its warnings, which come from clang's front end whatever the
        # optimisation, and for its linker: built without the optimiser, as the clang22 preset
        # builds the Linux code, it takes half the time. LLVM 19's build is the optimised one.
        22) build=build-macos-clang22 optimised=(-DCMAKE_CXX_FLAGS_RELEASE="-O0 -DNDEBUG"
                -DCMAKE_OBJCXX_FLAGS_RELEASE="-O0 -DNDEBUG") ;;
        *) echo "macOS cross-check: LLVM $release? 19 or 22" >&2; exit 2 ;;
    esac
    echo "== macOS cross-check: LLVM $release, in $build"
    signed="$PWD/$build/codesign-stand-in.log"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/macos-cross.cmake" -DLEMVORA_MACOS_SDK="$sdk" \
        -DLEMVORA_MACOS_LLVM="$release" "${optimised[@]}" \
        -DLEMVORA_CODESIGN="$PWD/scripts/codesign-stand-in.sh" \
        -DLEMVORA_CODESIGN_IDENTITY="$identity" -DLEMVORA_CODESIGN_TIMESTAMP=ON \
        -DLEMVORA_CODESIGN_ENVIRONMENT="LEMVORA_CODESIGN_LOG=$signed;LEMVORA_CODESIGN_EXPECTED=$identity" \
        -DLEMVORA_WARNINGS_AS_ERRORS=ON >"$log" 2>&1 || { cat "$log"; exit 1; }
    : >"$signed"
    cmake --build "$build" -j "$(nproc)" 2>&1 | tee -a "$log"
    if grep -q -i 'warning:' "$log"; then
        echo "macOS cross-check: the build with LLVM $release printed warnings" >&2
        exit 1
    fi
    # Which compilers built it: those the compile commands name; said again at the end.
    while read -r compiler; do
        built+=("$build: built, warnings as errors, by $("$compiler" --version | head -n 1) ($compiler)")
    done < <(python3 -c 'import json, shlex, sys
print("\n".join(sorted({shlex.split(c["command"])[0] for c in json.load(open(sys.argv[1]))})))' \
        "$build/compile_commands.json")
    built+=("$build: linked by $("$build/macos-cross-tools/ld64.lld" --version | head -n 1) (ld64.lld)")
    printf '%s\n' "${built[@]}" | grep "^$build: "
    # The extension first, with its entitlements, then the application; each with the identity as
    # one argument, the hardened runtime and a secure timestamp.
    app="$PWD/$build/Lemvora.app"
    expected=$(printf '%s\n' --force --timestamp --options runtime --sign "$identity" \
        --entitlements "$PWD/extension/LemvoraMenu.entitlements" \
        "$app/Contents/PlugIns/LemvoraMenu.appex" "" \
        --force --timestamp --options runtime --sign "$identity" "$app" "")
    if [ "$(head -n "$(printf '%s\n' "$expected" | wc -l)" "$signed")" != "$expected" ]; then
        echo "macOS cross-check: the signing commands differ from what a release needs:" >&2
        cat "$signed" >&2
        exit 1
    fi
    echo "the signing commands hand codesign the identity \"$identity\" whole"
    echo
    scripts/macos-checks.py "$build" | tee "$log"
    # Linked as Apple's linker links for macOS 13: the checks above read chained fixups.
    grep -q 'arm64, chained fixups\] answers' "$log" || {
        echo "macOS cross-check: the build with LLVM $release was not linked with chained fixups" >&2
        exit 1
    }
    # The finder driver of the Mac workflow's end-to-end job: built for both architectures, as the
    # runners are Apple silicon and Intel.
    driver="$build/tools/finder-driver/lemvora-finder-driver"
    archs=" $(/usr/lib/llvm-14/bin/llvm-lipo -archs "$driver" 2>/dev/null || true) "
    if [[ $archs != *" arm64 "* || $archs != *" x86_64 "* ]]; then
        echo "macOS cross-check: the finder driver is not universal: $driver" >&2
        exit 1
    fi
    echo "the finder driver is universal"
    echo
done
# The two runs of the self-test side by side (each links programs one at a time), each printed
# whole once both have ended.
self_test=$(mktemp)
trap 'rm -f "$log" "$rewritten" "$self_test"' EXIT
# The wrapper lists each file it rewrote in APPLE_FORM_LOG; without it, the wrapper exits 1.
APPLE_FORM_LOG="$rewritten" PATH="$apple_form:$PATH" scripts/macos-checks.py --self-test "$sdk" \
    >"$self_test" 2>&1 &
status=0
scripts/macos-checks.py --self-test "$sdk" || status=$?
echo
wait $! || status=$?
cat "$self_test"
[ "$status" = 0 ] || exit "$status"
[ -s "$rewritten" ] || {
    echo "macOS cross-check: the self-test's programs did not go through $apple_form" >&2
    exit 1
}
# The Mac workflow is only read by GitHub: it must at least parse.
python3 -c 'import sys, yaml; yaml.safe_load(open(sys.argv[1]))' .github/workflows/macos.yml
echo "the Mac workflow parses"
bash -n scripts/finder-e2e.sh
echo "the Mac workflow's end-to-end script parses"
printf '%s\n' "${built[@]}"
