#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GLY_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
gly_wine_start "$build"
# Until the program's window exists, the smoke check stands in for it.
"$build/wine-run.sh" "$build/bin/core_tests.exe" --gtest_filter='Smoke.*'
