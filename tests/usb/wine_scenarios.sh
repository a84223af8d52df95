#!/usr/bin/env bash
# Runs inside the test machine (vm-rig): the unmodified Windows program under Wine, on Wine's own
# winmm (its ALSA driver), against the instrument behind the kernel's USB-MIDI stack. Verdicts go
# to summary.txt as in scenarios.sh.
#   VELDA_WINDOWS_EXE, VELDA_WINE_PREFIX (made on the host; read-only here), VELDA_SIM,
#   VELDA_SAMPLE, VELDA_SOURCE_DIR come from the host.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
results=$PWD
WORK=$results
. "$here/gadget.sh"

PORT="HALVEN USB MIDI 1"
WINE_PORT="HALVEN USB - HALVEN USB MIDI 1" # Wine names a sequencer port "client - port"
TITLE='VELDA Installer Ver. 1.10'
export XDG_RUNTIME_DIR=/tmp/velda-run
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

. "$here/scenario_rig.sh"
prepare_machine || exit 1

# The host's prefix below, this machine's changes on tmpfs above it: no 700 MB copy.
modprobe -d "$VELDA_VM_MODULES" overlay || exit 1
mkdir -p /tmp/wine/upper /tmp/wine/work /tmp/wine/prefix
mount -t overlay overlay -o "lowerdir=$VELDA_WINE_PREFIX,upperdir=/tmp/wine/upper,workdir=/tmp/wine/work" \
  /tmp/wine/prefix || exit 1
export WINEPREFIX=/tmp/wine/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>/tmp/wine/display 2>/dev/null &
for _ in $(seq 100); do [ -s /tmp/wine/display ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 /tmp/wine/display)"
# One server for the scenarios' programs: each start then costs less.
wineserver -p

# run_exe SECONDS OPTION...: the program, its output in out.txt and err.txt, its exit code in rc.
# Wine's processes often crash at exit in Wine's own MIDI thread (139), after the program's work
# is done: the verdicts read what the program wrote, and exit_ok accepts that crash only.
run_exe() {
  local seconds=$1
  shift
  local rc=0
  timeout "$seconds" wine "$VELDA_WINDOWS_EXE" "$@" >"$w/out.txt" 2>"$w/err.txt" </dev/null || rc=$?
  echo "$rc" >"$w/rc"
  # Windows line ends, once, for the checks that read the output.
  sed -i 's/\r$//' "$w/out.txt"
}
exit_ok() { case "$(cat "$w/rc")" in 0 | 139) return 0 ;; esac; return 1; }

# ---- the device lists as Wine's winmm names them ----
wine_list_ports() {
  run_exe 200 --list-ports
  check "--list-ports ended with $(cat "$w/rc")" exit_ok
  check "the MIDI system is not winmm" grep -qx "MIDI system: winmm" "$w/out.txt"
  check_listed "$w/out.txt" "$WINE_PORT"
}

# ---- a whole installation through Wine's winmm and the USB link ----
# No restart: Wine announces no device change and a running process's device list stays as it
# was, so the port recovery could never find the instrument again.
wine_install() {
  start_sim --instrument restart=off || check "velda-sim's ports were not connected to the gadget" false
  run_exe 400 --yes --midi-in "$WINE_PORT" --midi-out "$WINE_PORT" --package "$results/velda.uxs" \
    --trace "$w/trace.txt" &
  local pid=$!
  # The window during the upload: data packets (F0 43 50 ... of over 3000 bytes) are going out.
  local shot=""
  for _ in $(seq 1500); do
    if [ "$(awk '$2 == ">" && length($0) > 3000' "$w/trace.txt" 2>/dev/null | wc -l)" -ge 5 ]; then
      local win
      win=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>>"$w/shot.log" | head -1)
      [ -n "$win" ] && xwd -silent -id "$win" -out "$w/upload.xwd" 2>>"$w/shot.log" &&
        convert "$w/upload.xwd" "$w/upload.png" 2>>"$w/shot.log" && shot=1
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  wait "$pid"
  check "no picture of the window during the upload" [ -n "$shot" ]
  check "the picture of the window is one flat colour" [ "$(identify -format '%k' "$w/upload.png" 2>/dev/null || echo 0)" -gt 2 ]
  check "velda-installer.exe ended with $(cat "$w/rc")" exit_ok
  check "the output does not end with completion and exit code 0" \
    grep -qx "Result: completed (exit code 0)" "$w/out.txt"
  check "the installer did not open \"$WINE_PORT\" both ways" \
    [ "$(grep -c " opened device [0-9]* .*($WINE_PORT)" "$w/trace.txt")" -eq 2 ]
  check "the last request was not the baud rate reset" \
    [ "$(awk '$2 == ">" { s = $0; sub(/^[0-9]+ > /, "", s); sub(/\r$/, "", s); l = s } END { print l }' "$w/trace.txt")" = "F0 43 50 03 00 05 01 F7" ]
  check_sim_memory
}

scenario wine_list_ports wine_list_ports
scenario wine_install wine_install
timeout 20 wineserver -k
echo "all scenarios ran"
