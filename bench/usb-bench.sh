#!/usr/bin/env bash
# Runs inside the test machine for bench/run-usb-bench; prints the benchmark's figures.
set -uo pipefail
WORK=$PWD
. "$VELDA_SOURCE_DIR/tests/usb/gadget.sh"
PORT="HALVEN USB MIDI 1"
export XDG_RUNTIME_DIR=/tmp/velda-run
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
load_modules || exit 1
make_gadget
wait_seq_port "$PORT" || { echo "the USB-MIDI port never appeared"; exit 1; }

# The link's round trip: an echoing peer on the gadget's side.
"$VELDA_BENCH" --midi-api alsa --echo "USB gadget" &
echo_pid=$!
wait_seq_port "to USB gadget" && connect_gadget || { echo "the echo was not connected to the gadget"; exit 1; }
"$VELDA_BENCH" --midi-api alsa --port "$PORT" --rounds 300 --no-installation | tee rtt.txt
kill "$CONNECT_PID" "$echo_pid"
wait "$echo_pid"
rtt=$(awk '/median/ { print $4; exit }' rtt.txt)
[ -n "$rtt" ] || exit 1

# The installation, the instrument's own pace (no restart, answers at once).
"$VELDA_SIM" --midi-api alsa --usb-gadget "$GADGET" --instrument restart=off --instrument latency-ms=0 \
  --dump "$WORK/memory" --log "$WORK/sim.log" &
sim_pid=$!
wait_seq_port "to USB gadget" && connect_gadget || { echo "velda-sim was not connected to the gadget"; exit 1; }
"$VELDA_BENCH" --midi-api alsa --port "$PORT" --no-round-trips --installer "$VELDA_INSTALLER" \
  --sim-pid "$sim_pid" --link-rtt-ms "$rtt" --work "$WORK"
rc=$?
kill "$CONNECT_PID"
wait "$sim_pid"
exit "$rc"
