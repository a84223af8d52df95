#!/usr/bin/env bash
# The JACK server dies while the instrument restarts into update mode, and is started again under
# the same name; the instrument's program, which ends with its server, is started again (already
# in update mode: it does not restart once more). The installer's port recovery finds the ports on
# the new server and the installation completes: exit code 0, the instrument's memory equal to
# the package, no crash of either program. Also run in the AddressSanitizer build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

# The ports stay away long enough for the server to die and come back meanwhile.
start_sim --instrument restart-ms=6000
"$VELDA_INSTALLER" --yes --tui --midi-api jack --package "$work/velda.uxs" --trace "$work/trace.txt" \
  >"$work/out.txt" 2>"$work/err.txt" </dev/null &
pid=$!
started "$pid"

# The update-mode-on request makes the instrument restart: its ports go.
wait_for_port "HALVEN USB IN 0-1" 30 || fail "the instrument's ports are not there"
wait_for_no_port "HALVEN USB IN 0-1" 120 || fail "the instrument did not restart"
stop_jack
old_sim_rc=0
deadline=$((SECONDS + 30))
while kill -0 "$SIM_PID" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
kill -0 "$SIM_PID" 2>/dev/null && fail "velda-sim did not end when its JACK server died"
wait "$SIM_PID" || old_sim_rc=$?
[ "$old_sim_rc" -eq 1 ] || fail "velda-sim ended with $old_sim_rc when its JACK server died, expected 1"
kill -0 "$pid" 2>/dev/null || fail "velda-installer ended when the JACK server died"

start_jack || fail "the JACK server did not start again"
rm -rf "$work/memory"
start_sim --instrument restart=off

rc=0
wait "$pid" || rc=$?
INSTALLER_RC=$rc
grep -qi 'AddressSanitizer\|runtime error' "$work/err.txt" && fail "velda-installer reported a fault"
expect_exit 0
expect_output "Installation is completed."
expect_quiet_stderr
grep -q 'JACK server has gone away' "$work/trace.txt" || fail "the trace does not tell that the server went away"
grep -q 'JACK server answers again' "$work/trace.txt" || fail "the trace does not tell that the server is back"

sim_rc=0
kill -TERM "$SIM_PID"
wait "$SIM_PID" || sim_rc=$?
VELDA_PIDS=()
[ "$sim_rc" -eq 0 ] || fail "velda-sim ended with $sim_rc on SIGTERM, expected 0"
"$VELDA_SAMPLE" check "$VELDA_SOURCE_DIR/examples/sample" "$work/velda.uxs" "$work/memory" >"$work/check.txt" 2>&1 ||
  fail "the instrument's memory differs from the package: $(cat "$work/check.txt")"
echo "ok: server restarted during the recovery, installation completed, memory equal to the package"
