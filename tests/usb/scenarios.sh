#!/usr/bin/env bash
# Runs inside the test machine (vm-rig): the instrument behind the kernel's USB-MIDI stack, and
# velda-installer on the ALSA sequencer against it. One boot serves every scenario; each writes
# "<name> ok|FAIL <seconds>[: why]" to summary.txt and its files under <name>/ (report.txt on a
# failure). It fails only when the machine cannot serve the scenarios at all.
#   VELDA_INSTALLER, VELDA_SIM, VELDA_SAMPLE, VELDA_SOURCE_DIR come from the host.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
results=$PWD
WORK=$results
. "$here/gadget.sh"

PORT="HALVEN USB MIDI 1" # the kernel names the port after the product string
export XDG_RUNTIME_DIR=/tmp/velda-run
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

. "$here/scenario_rig.sh"
prepare_machine || exit 1

INSTALLER_RC=0
# run_installer [OPTION]...: an installation on the terminal through the ALSA backend.
run_installer() {
  INSTALLER_RC=0
  timeout 400 "$VELDA_INSTALLER" --yes --tui --midi-api alsa --midi-in "$PORT" --midi-out "$PORT" \
    --package "$results/velda.uxs" --trace "$w/trace.txt" "$@" >"$w/out.txt" 2>"$w/err.txt" </dev/null || INSTALLER_RC=$?
  echo "$INSTALLER_RC" >"$w/rc"
}

# ---- the port as Linux names it ----
list_ports() {
  "$VELDA_INSTALLER" --list-ports --midi-api alsa >"$w/out.txt" 2>"$w/err.txt"
  INSTALLER_RC=$?
  check "--list-ports ended with $INSTALLER_RC" [ "$INSTALLER_RC" -eq 0 ]
  check_listed "$w/out.txt" "$PORT"
}

# ---- SysEx of every size both ways between the installer's backend and the device's side, and a
# quick re-enumeration reported ----
sysex() {
  VELDA_USB_GADGET=$GADGET timeout 180 "$VELDA_USB_SYSEX_TEST" >"$w/out.txt" 2>&1
  local rc=$?
  local failed
  failed=$(grep -E '^\[  FAILED  \] .* \([0-9]+ ms\)$' "$w/out.txt" | sed 's/^\[  FAILED  \] //; s/ (.*//' | tr '\n' ' ')
  check "the driver's USB tests failed: ${failed:-see out.txt}" [ "$rc" -eq 0 ]
}

# ---- a whole installation, the restart a USB disconnect and reconnect ----
install_complete() {
  start_sim --instrument restart-ms=1000 || check "velda-sim's ports were not connected to the gadget" false
  run_installer
  check "velda-installer ended with $INSTALLER_RC, expected 0" [ "$INSTALLER_RC" -eq 0 ]
  check "the output does not show the completion" grep -qF "Installation is completed." "$w/out.txt"
  check "velda-installer wrote to stderr" [ ! -s "$w/err.txt" ]
  # The only way to the instrument is the cable: the ports were reopened after the USB restart.
  check "the ports were not reopened after the restart" [ "$(grep -c ' # Open MIDI In Driver : ' "$w/trace.txt")" -ge 2 ]
  check_sim_memory
}

# ---- the cable pulled during the upload, never put back ----
cable_pulled() {
  # No restart here: the pull, not the port recovery, is what this scenario is about.
  # Replies come 600 ms late, so the pull falls between the write-block request and its reply.
  start_sim --instrument restart=off --instrument latency-ms=600 || check "velda-sim's ports were not connected to the gadget" false
  run_installer &
  local pid=$!
  # Pulled as the first block is written: the write-block wait (63.5 s) is the one that runs out.
  local n=0
  for _ in $(seq 2400); do
    n=$(awk '$2 == ">" && $3 == "F0" { c++ } END { print c + 0 }' "$w/trace.txt" 2>/dev/null || echo 0)
    grep -q ' > F0 43 50 03 00 04 01 F7$' "$w/trace.txt" 2>/dev/null && break
    sleep 0.05
  done
  echo "" >"$GADGET/UDC"
  echo "pulled after $n messages sent" >"$w/pulled.txt"
  wait "$pid"
  grep ' # time-out' "$w/trace.txt" >>"$w/pulled.txt" 2>/dev/null
  INSTALLER_RC=$(cat "$w/rc" 2>/dev/null || echo "$INSTALLER_RC")
  check "no write-block request came before the pull" grep -q ' > F0 43 50 03 00 04 01 F7$' "$w/trace.txt"
  check "velda-installer ended with $INSTALLER_RC, expected 4" [ "$INSTALLER_RC" -eq 4 ]
  check "the output does not show the Time Out box" grep -qF "Time Out" "$w/out.txt"
  check "velda-installer wrote to stderr" [ ! -s "$w/err.txt" ]
}

# ---- the port chosen in the terminal's MIDI Port menu after the "Can't open" box ----
menu_choice() {
  start_sim --instrument restart-ms=1000 || check "velda-sim's ports were not connected to the gadget" false
  # The user's keyboard: a pipe held open here, so that the input ends only when this says (on
  # the machine's own tmpfs: the shared results folder has no pipes).
  local keys=$XDG_RUNTIME_DIR/keys
  rm -f "$keys"
  mkfifo "$keys"
  exec 3<>"$keys"
  timeout 400 "$VELDA_INSTALLER" --tui --midi-api alsa --package "$results/velda.uxs" --trace "$w/trace.txt" \
    <"$keys" >"$w/out.txt" 2>"$w/err.txt" &
  local pid=$!
  printf '\n\n\n\n' >&3 # the four questions
  local seen="" answered=""
  for _ in $(seq 600); do
    grep -qF "Waiting for you: p = MIDI Port" "$w/out.txt" 2>/dev/null && { seen=1; break; }
    if [ -z "$answered" ] && grep -qF "  Can't open " "$w/out.txt" 2>/dev/null; then
      printf '\n' >&3 # OK to the box
      answered=1
    fi
    sleep 0.1
  done
  check "the window never waited for MIDI Port after the \"Can't open\" box" [ -n "$seen" ]
  # MIDI Port, the offered entry in both lists, OK to "Installation is completed.".
  printf 'p\n\n\n\n' >&3
  exec 3>&-
  INSTALLER_RC=0
  wait "$pid" || INSTALLER_RC=$?
  check "velda-installer ended with $INSTALLER_RC, expected 0" [ "$INSTALLER_RC" -eq 0 ]
  check "the box did not say \"Can't open\"" grep -qF "  HALVEN USB MIDI Driver." "$w/out.txt"
  check "the menu did not offer \"$PORT\"" grep -qE "^  [0-9]+\) $PORT  \*$" "$w/out.txt"
  check "the output does not show the completion" grep -qF "Installation is completed." "$w/out.txt"
  check "velda-installer wrote to stderr" [ ! -s "$w/err.txt" ]
  # The chosen port, not the default names, is what the recovery reopened after the USB restart.
  check "the chosen port was not reopened after the restart" \
    [ "$(grep -c " # Open MIDI In Driver : .*$PORT" "$w/trace.txt")" -ge 2 ]
  check_sim_memory
}

scenario list_ports list_ports
scenario sysex sysex
scenario install_complete install_complete
scenario menu_choice menu_choice
scenario cable_pulled cable_pulled
echo "all scenarios ran"
