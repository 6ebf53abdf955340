#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang lld llvm clang-format pkg-config
    libicu-dev libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
    qt6-base-dev libqt6gui6 fonts-dejavu-core
    libnss-wrapper util-linux
    python3 python3-docx python3-openpyxl
    libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
