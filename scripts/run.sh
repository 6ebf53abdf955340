#!/usr/bin/env bash
# The main job: installs what is missing, builds, and shows the catalogue of the template folder
# as the "Yeni Belge" menu lists it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target lemvora-catalog >/dev/null
exec build/tools/catalog/lemvora-catalog "$@"
