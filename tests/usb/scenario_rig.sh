# Sourced inside the test machine by the scenario scripts, after gadget.sh: velda-sim behind the
# gadget, the scenarios' checks and their verdicts in summary.txt.
#   Needs results (the results folder), PORT, VELDA_SIM, VELDA_SAMPLE, VELDA_SOURCE_DIR.

# prepare_machine: the modules, the gadget with its port on the sequencer, the sample package.
prepare_machine() {
  load_modules || return 1
  make_gadget
  wait_seq_port "$PORT" || {
    echo "FAIL: the USB-MIDI port never appeared"
    aconnect -l
    return 1
  }
  "$VELDA_SAMPLE" make "$VELDA_SOURCE_DIR/examples/sample" "$results/velda.uxs" >/dev/null
}

BG=()
SIM_PID=""
# start_sim [OPTION]...: velda-sim on the sequencer, connected to the gadget's MIDI port both ways
# (sequencer ports, not raw MIDI: the sequencer passes a SysEx whole, while a raw MIDI reader
# slower than the one-page buffer loses its tail); a restart unbinds the gadget.
start_sim() {
  "$VELDA_SIM" --midi-api alsa --usb-gadget "$GADGET" --dump "$w/memory" --log "$w/sim.log" "$@" &
  SIM_PID=$!
  BG+=("$SIM_PID")
  wait_seq_port "to USB gadget" && wait_seq_port "from USB gadget" || return 1
  local rc=0
  connect_gadget || rc=1
  BG+=("$CONNECT_PID")
  return "$rc"
}

# check_listed FILE NAME: NAME is in both the input and the output list that --list-ports wrote.
check_listed() {
  check "no input \"$2\"" grep -qx "  [0-9]*  $2" <(sed -n '/input devices/,/output devices/p' "$1")
  check "no output \"$2\"" grep -qx "  [0-9]*  $2" <(sed -n '/output devices/,$p' "$1")
}

# check_sim_memory: velda-sim told to end; it must end well and leave the package in its memory.
check_sim_memory() {
  kill -TERM "$SIM_PID"
  local nSim=0
  wait "$SIM_PID" || nSim=$?
  check "velda-sim ended with $nSim" [ "$nSim" -eq 0 ]
  check "the instrument's memory differs from the package" \
    "$VELDA_SAMPLE" check "$VELDA_SOURCE_DIR/examples/sample" "$results/velda.uxs" "$w/memory"
}

stop_all() {
  local p
  for p in "${BG[@]}"; do kill -TERM "$p" 2>/dev/null; done
  for p in "${BG[@]}"; do wait "$p" 2>/dev/null; done
  BG=()
}

why=""
check() { # check CONDITION-TEXT COMMAND...: the first failed check names the scenario's failure
  local text=$1
  shift
  if [ -z "$why" ] && ! "$@"; then why=$text; fi
}

scenario() { # scenario NAME FUNCTION
  w=$results/$1
  mkdir -p "$w"
  why=""
  local t0=$EPOCHREALTIME
  "$2"
  stop_all
  # The gadget is bound again for the next scenario, whatever this one did to it.
  [ -n "$(cat "$GADGET/UDC")" ] || cat "$results/udc.txt" >"$GADGET/UDC"
  wait_seq_port "$PORT"
  local t=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  if [ -z "$why" ]; then
    echo "$1 ok $t" | tee -a "$results/summary.txt"
  else
    echo "$1 FAIL $t: $why" | tee -a "$results/summary.txt"
    {
      for f in out.txt err.txt sim.log; do
        [ -f "$w/$f" ] && { echo "---- $1/$f (last lines)"; tail -n 15 "$w/$f"; }
      done
      [ -f "$w/trace.txt" ] && { echo "---- $1/trace.txt (notes)"; grep ' # ' "$w/trace.txt" | tail -n 20 | cut -c1-160; }
    } >"$w/report.txt"
  fi
}
