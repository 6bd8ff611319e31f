#!/usr/bin/env bash
# Installs what is missing, builds, and starts gly.exe under Wine (on Xvfb when there is no display).
# The program gets a fresh per-user data folder of this run's own, removed again at the end, so the
# settings and set files of real users are never read or written. Arguments go to gly.exe (-m, -p).
# GLY_RUN_DATA=<folder> keeps the data folder there instead, from one run to the next.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${GLY_BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
gly_wine_start "$build"

if [ -n "${GLY_RUN_DATA:-}" ]; then
  data=$(mkdir -p "$GLY_RUN_DATA" && cd "$GLY_RUN_DATA" && pwd)
  keep=1
else
  data=$(mktemp -d "${TMPDIR:-/tmp}/gly-run.XXXXXX")
  keep=0
fi
gly_run_cleanup() {
  if [ "$keep" = 0 ]; then rm -rf "$data"; fi
  gly_wine_stop
}
trap gly_run_cleanup EXIT

# Drive Z: is the Linux root.
export GLY_DATA_FOLDER="Z:${data//\//\\}"
echo "gly: data folder $data"

"$build/wine-run.sh" "$build/bin/gly.exe" "$@" &
gly_pid=$!

if [ -z "${GLY_XVFB_PID:-}" ]; then
  # A real display: the program runs until the user closes it.
  wait "$gly_pid"
  exit $?
fi

# A virtual display: nobody can see the window, so show that it came up, keep a picture of the
# screen when the X tools are there (x11-utils, x11-apps, imagemagick), and close the program the
# way a user would.
window_up() { xwininfo -root -tree 2>/dev/null | grep -q '"GLY"'; }
if command -v xwininfo >/dev/null; then
  for _ in $(seq 300); do
    if window_up || ! kill -0 "$gly_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if window_up; then
    echo "gly: the main window is up on the virtual display $DISPLAY"
  else
    echo "gly: no main window appeared" >&2
  fi
else
  sleep 5
fi
if kill -0 "$gly_pid" 2>/dev/null; then
  sleep 1
  shot="$build/gly-screen.png"
  if command -v xwd >/dev/null && command -v convert >/dev/null; then
    xwd -root -silent | convert xwd:- "$shot" && echo "gly: screenshot in $shot"
  fi
  # Without /f taskkill asks the windows to close (WM_CLOSE): the program shuts down normally.
  "$build/wine-run.sh" taskkill /im gly.exe >/dev/null 2>&1 || true
fi
wait "$gly_pid"
