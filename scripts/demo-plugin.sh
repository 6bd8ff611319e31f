#!/usr/bin/env bash
# Installs what is missing, builds, starts gly.exe under Wine with a fresh data folder, and lets the
# stand-in page-layout host open a document that misses two fonts: one that lies in the search folder
# the user "chooses" (DejaVu Sans) and one that exists nowhere. Prints what the plug-in showed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GLY_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
gly_wine_start "$build"

work=$(mktemp -d "${TMPDIR:-/tmp}/gly-demo.XXXXXX")
cleanup() { rm -rf "$work"; gly_wine_stop; }
trap cleanup EXIT
mkdir -p "$work/data" "$work/fonts"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$work/fonts/"
win() { local p=${1//\//\\}; echo "Z:$p"; }

export GLY_DATA_FOLDER=$(win "$work/data") GLY_MESSAGE_LOG=$(win "$work/boxes.log")
"$build/wine-run.sh" "$build/bin/gly.exe" &
gly_pid=$!
# The plug-in would try to start an installed gly.exe itself: wait for this one's window first.
for _ in $(seq 300); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"GLY"'; then break; fi
  sleep 0.1
done

cat > "$work/document.txt" <<TXT
# The document's fonts: name|PostScript name|state; the user picks the search folder when asked.
font DejaVu Sans|DejaVuSans|missing
font Nowhere|Nowhere-Regular|missing
chooser $(win "$work/fonts")
open
TXT
"$build/wine-run.sh" "$build/bin/pagelayout_host.exe" "$(win "$work/document.txt")" "$(win "$work/host.log")" || true
echo "--- what the plug-in showed (stand-in host's log) ---"
grep -a -E '^(final|host:)' "$work/host.log" || cat "$work/host.log"
echo "--- gly.exe's session log ---"
iconv -f UTF-16 -t UTF-8 "$work/data/plugin_session.log" 2>/dev/null || true

"$build/wine-run.sh" taskkill /im gly.exe >/dev/null 2>&1 || true
wait "$gly_pid" || true
