#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang lld llvm clang-19 lld-19 llvm-19 clang-22 lld-22 llvm-22
    clang-format pkg-config
    libicu-dev libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
    qt6-base-dev libqt6gui6 fonts-dejavu-core
    libnss-wrapper util-linux locales
    exfatprogs exfat-fuse dosfstools fusefat btrfs-progs e2fsprogs
    python3 python3-docx python3-openpyxl python3-yaml sqlite3
    libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests read the system's messages in Turkish as well.
if ! locale -a 2>/dev/null | grep -qix 'tr_TR.utf8'; then
    echo "Generating the tr_TR.UTF-8 locale"
    $sudo localedef -i tr_TR -f UTF-8 tr_TR.UTF-8
fi
