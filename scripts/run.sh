#!/usr/bin/env bash
# The main job: installs what is missing, builds Lemvora, enables its Finder extension in the
# finder host, makes sure the template folder holds the starter set, and opens the
# "Yeni Belge" menu on a folder (default: the current one). Pick an entry by its number.
#
# Usage: scripts/run.sh [FOLDER]
set -euo pipefail
folder=$(realpath -m -- "${1:-$PWD}")
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target LemvoraMenu lemvora-finder lemvora-catalog >/dev/null

app="$PWD/build/Lemvora.app"
build/tools/finder/lemvora-finder extensions enable "$app/Contents/PlugIns/LemvoraMenu.appex"
build/tools/catalog/lemvora-catalog --seed "$app" >/dev/null
mkdir -p -- "$folder"
exec build/tools/finder/lemvora-finder "$folder"
