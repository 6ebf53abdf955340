#!/usr/bin/env bash
# Renders the host application's window, as a new user first sees it (starter set, extension
# enabled), to a PNG with Qt's offscreen platform. Usage: scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
out=$(realpath -m -- "${1:-docs/window.png}")
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target lemvora-window-shot lemvora-finder LemvoraMenu >/dev/null
app="$PWD/build/Lemvora.app"
tests/support/with-fake-home.sh bash -c '
    "$1/../tools/finder/lemvora-finder" extensions enable "$2/Contents/PlugIns/LemvoraMenu.appex"
    QT_QPA_PLATFORM=offscreen "$2/Contents/MacOS/lemvora-window-shot" "$3" 2>/dev/null
' _ "$PWD/build/tools" "$app" "$out"
echo "$out"
