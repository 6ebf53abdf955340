#!/usr/bin/env bash
# As root: one 256 MiB document made onto a real exFAT volume (exfat-fuse over a loop device, as a
# USB stick is), against cp onto the same volume. The template stays on the machine's own disk.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "bench/exfat.sh: run as root (loop device, FUSE)" >&2; exit 2; }
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
dir=$(mktemp -d)
mkdir "$dir/stick"
truncate -s 1G "$dir/exfat.img"
mkfs.exfat "$dir/exfat.img" >/dev/null
device=$(losetup -f --show "$dir/exfat.img")
cleanup() {
    umount "$dir/stick" 2>/dev/null || true
    losetup -d "$device"
    rm -rf "$dir"
}
trap cleanup EXIT
mount.exfat-fuse -o allow_other "$device" "$dir/stick"
LEMVORA_BENCH_TARGET="$dir/stick" tests/support/with-fake-home.sh \
    build-bench/bench/creation_bench --benchmark_filter=256MiB
