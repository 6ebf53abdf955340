#!/usr/bin/env bash
# Builds the fuzzers with clang's libFuzzer (and AddressSanitizer and UBSan) and runs each for a
# bounded time on its corpus. The corpus lives in fuzz/corpus.tar.gz (one folder per fuzzer);
# what a run finds that adds coverage is merged back into it, minimised.
# Usage: fuzz/run.sh [SECONDS_EACH]   (default 120). Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
out=build-fuzz
mkdir -p "$out"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Iplatform/include -Iplatform/linux
       -Ishared)
platform=(platform/linux/Text.cpp platform/common/Text.cpp platform/posix/FileSystem.cpp
          platform/posix/Copy.cpp platform/posix/Bundle.cpp)
icu=$(pkg-config --libs icu-uc icu-i18n)

clang++ "${flags[@]}" fuzz/names_fuzzer.cpp shared/Templates.cpp "${platform[@]}" $icu \
    -o "$out/names_fuzzer"
clang++ "${flags[@]}" fuzz/request_fuzzer.cpp platform/linux/ExtensionProtocol.cpp \
    platform/common/AppKit.cpp platform/linux/Desktop.cpp platform/linux/ExtensionRegistry.cpp \
    platform/linux/Volumes.cpp \
    "${platform[@]}" $icu -o "$out/request_fuzzer"

rm -rf "$out/corpus" && mkdir -p "$out/corpus"
tar -C "$out/corpus" -xzf fuzz/corpus.tar.gz

run() { # run NAME FUZZER: fuzz into a scratch corpus, then keep a minimal set that covers all
    local work="$out/work-$1" minimal="$out/minimal-$1"
    rm -rf "$work" "$minimal" && mkdir -p "$work" "$minimal"
    echo "== $1: ${seconds}s"
    "$2" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$work" "$out/corpus/$1" \
        2>&1 | grep -E "^(Done|stat::(number_of_executed_units|new_units_added))|ERROR|SUMMARY|crash-" || true
    "$2" -merge=1 "$minimal" "$out/corpus/$1" "$work" 2>&1 | grep -E "MERGE-OUTER: [0-9]+ new files" || true
    rm -rf "$out/corpus/$1" && mv "$minimal" "$out/corpus/$1"
}
run names "$out/names_fuzzer"
run requests "$out/request_fuzzer"

tar -C "$out/corpus" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf - names requests |
    gzip -n -9 >fuzz/corpus.tar.gz
