# Sourced by the Windows tests: a private Wine prefix and a private Xvfb display for this run,
# both removed when the sourcing script exits. Sets WINEPREFIX, DISPLAY and WORK (a scratch folder).
# Needs: wine, Xvfb (xvfb), xdotool, xwd (x11-apps), ImageMagick.
set -euo pipefail

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velda-wine.XXXXXX")
if [ -n "${VELDA_WINE_SESSION:-}" ]; then
  # Inside a session made by with_wine: its prefix and display, a scratch folder of our own.
  trap 'rm -rf "$WORK"' EXIT
  return 0
fi
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_PID=""

wine_session_end() {
  set +e
  timeout 20 wineserver -k >/dev/null 2>&1
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap wine_session_end EXIT

# A display of our own: never a fixed number, Xvfb picks a free one.
# No key autorepeat: a key release that comes late under load must not become a stream of
# Returns that answers every box that follows.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -ardelay 3600000 -arinterval 3600000 3>"$WORK/display" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$WORK/display")"

timeout 300 wineboot --init >/dev/null 2>&1
timeout 120 wineserver -w
# Unmanaged windows: a window's X position is its Windows position and closing one does not wait.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# Keep the server up between the test's programs (each start then costs less).
wineserver -p || true  # fails harmlessly when the server already runs
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
export VELDA_WINE_SESSION=1
