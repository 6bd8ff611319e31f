#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GLY_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
gly_wine_start "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
