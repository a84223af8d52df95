# Sourced by the installation tests after jack-server.sh: the sample package, velda-sim on the
# shellcheck shell=bash
# test's JACK server, and velda-installer run against it on the terminal.
#   VELDA_INSTALLER, VELDA_SIM, VELDA_SAMPLE, VELDA_SOURCE_DIR come from ctest.

work="$VELDA_TMP"
# A lock folder of the test's own: installations of parallel tests do not meet.
export XDG_RUNTIME_DIR="$work"
"$VELDA_SAMPLE" make "$VELDA_SOURCE_DIR/examples/sample" "$work/velda.uxs" >/dev/null

SIM_PID=""
# start_sim [--instrument KEY=VALUE]...: the instrument with its memory dumped on exit.
start_sim() {
  "$VELDA_SIM" --midi-api jack --dump "$work/memory" --log "$work/sim.log" "$@" 2>>"$work/sim.err" &
  SIM_PID=$!
  started "$SIM_PID"
  wait_for_port "HALVEN USB IN 0-1"
  wait_for_port "HALVEN USB OUT 0-1"
}

# Ends the instrument (its dump is written on the way out).
stop_sim() {
  kill -TERM "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
}

INSTALLER_RC=0
# run_installer: the installation on the terminal, answering every box; output in $work/out.txt,
# errors in $work/err.txt, the trace in $work/trace.txt, the exit code in INSTALLER_RC.
run_installer() {
  INSTALLER_RC=0
  "$VELDA_INSTALLER" --yes --tui --midi-api jack --package "$work/velda.uxs" --trace "$work/trace.txt" \
    >"$work/out.txt" 2>"$work/err.txt" </dev/null &
  local pid=$!
  started "$pid"
  wait "$pid" || INSTALLER_RC=$?
}

fail() {
  echo "FAIL: $*" >&2
  for f in out.txt err.txt sim.log sim.err; do
    if [ -f "$work/$f" ]; then
      echo "---- $f (last lines)" >&2
      tail -n 25 "$work/$f" >&2
    fi
  done
  if [ -f "$work/trace.txt" ]; then
    echo "---- trace.txt (notes and last lines)" >&2
    grep ' # ' "$work/trace.txt" | tail -n 20 >&2
    tail -n 5 "$work/trace.txt" | cut -c1-160 >&2
  fi
  exit 1
}

expect_exit() {
  [ "$INSTALLER_RC" -eq "$1" ] || fail "velda-installer ended with $INSTALLER_RC, expected $1"
}

expect_output() {
  grep -qF -- "$1" "$work/out.txt" || fail "the output does not show: $1"
}

expect_quiet_stderr() {
  [ ! -s "$work/err.txt" ] || fail "velda-installer wrote to stderr"
}
