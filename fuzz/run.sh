#!/usr/bin/env bash
# Builds the fuzzers with clang's libFuzzer (and AddressSanitizer and UBSan) and runs each for a
# bounded time on its corpus. The corpus lives in fuzz/corpus.tar.gz (one folder per fuzzer);
# what a run finds that adds coverage is merged back into it, minimised.
# Usage: fuzz/run.sh [SECONDS_EACH [NAME...]]   (default 120, names and requests). Not part of CI.
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

# run NAME FUZZER: fuzz into a scratch corpus, from the stored one and the hand-written seeds of
# fuzz/seeds/NAME (lines of each kind the protocol has), then keep a minimal set that covers all
run() {
    local work="$out/work-$1" minimal="$out/minimal-$1" seeds=()
    rm -rf "$work" "$minimal" && mkdir -p "$work" "$minimal"
    [ -d "fuzz/seeds/$1" ] && seeds=("fuzz/seeds/$1")
    echo "== $1: ${seconds}s"
    "$2" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$work" "$out/corpus/$1" \
        "${seeds[@]}" 2>&1 |
        grep -E "^(Done|stat::(number_of_executed_units|new_units_added))|ERROR|SUMMARY|crash-" || true
    # What this run found beyond the stored corpus (a merge into an empty folder, as below,
    # counts every feature as new): near nothing once the corpus has settled.
    local stored="$out/stored-$1"
    rm -rf "$stored" && cp -r "$out/corpus/$1" "$stored"
    "$2" -merge=1 "$stored" "${seeds[@]}" "$work" 2>&1 |
        sed -n 's/^MERGE-OUTER: \([0-9]* new files with [0-9]* new features\).*/beyond the stored corpus: \1/p'
    "$2" -merge=1 "$minimal" "$out/corpus/$1" "${seeds[@]}" "$work" 2>&1 |
        sed -n 's/^MERGE-OUTER: \([0-9]*\) new files.*/kept, minimised: \1 files/p'
    rm -rf "$stored"
    rm -rf "$out/corpus/$1" && mv "$minimal" "$out/corpus/$1"
}
fuzzers=("${@:2}")
[ ${#fuzzers[@]} -ne 0 ] || fuzzers=(names requests)
for name in "${fuzzers[@]}"; do
    case $name in
        names) run names "$out/names_fuzzer" ;;
        requests) run requests "$out/request_fuzzer" ;;
        *) echo "fuzz/run.sh: no fuzzer named $name (names, requests)" >&2; exit 2 ;;
    esac
done

tar -C "$out/corpus" --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf - names requests |
    gzip -n -9 >fuzz/corpus.tar.gz
