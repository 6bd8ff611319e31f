# Sourced by the run and test scripts: a display (Xvfb when there is none) and one wineserver
# kept alive in the build's own prefix, both stopped again on exit.
gly_wine_start() {
  local build=$1
  export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  if [ -z "${DISPLAY:-}" ]; then
    local n=$((90 + RANDOM % 400))
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    GLY_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  # The wrapper creates the prefix on first use.
  "$build/wine-run.sh" --version >/dev/null
  # A server left from creating the prefix would not stay; replace it by a persistent one.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  # Start Wine's own services now, with no output attached: started later by a test, they would
  # inherit its output pipe and keep ctest waiting for it to close.
  "$build/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
  trap gly_wine_stop EXIT
}
gly_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "${GLY_XVFB_PID:-}" ]; then kill "$GLY_XVFB_PID" 2>/dev/null || true; fi
}
