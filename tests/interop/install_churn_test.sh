#!/usr/bin/env bash
# A complete installation, with the instrument's restart into update mode and the port recovery,
# while another program churns the JACK graph every ~50 ms as a patchbay does (graph-churn):
# listings, clients with ports coming and going, connections to and from the installer's and the
# instrument's ports made and broken. Neither program crashes, both end cleanly, and the
# instrument's memory equals the package. Also run in the AddressSanitizer build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument restart-ms=1000
"$here/graph-churn" "$work/churn.txt" &
CHURN_PID=$!
started "$CHURN_PID"

run_installer
kill -0 "$CHURN_PID" 2>/dev/null || fail "the churning client ended early"
kill -0 "$SIM_PID" 2>/dev/null || fail "velda-sim ended during the installation"
grep -qi 'AddressSanitizer\|runtime error\|segfault' "$work/err.txt" && fail "velda-installer reported a fault"
expect_exit 0
expect_output "Result: completed (exit code 0)"
expect_output "Installation is completed."
expect_quiet_stderr

# The graph did change under both programs, including their own ports (after the instrument's
# restart too: its ports are new ones then).
grep -q '^client- ' "$work/churn.txt" || fail "no client of the churn came and went"
grep -q '^connect velda-installer[-0-9]*:' "$work/churn.txt" || fail "the churn never connected the installer's ports"
grep -q '^connect .*velda-sim[-0-9]*:HALVEN USB ' "$work/churn.txt" ||
  fail "the churn never connected the instrument's ports"
grep -q '^disconnect ' "$work/churn.txt" || fail "the churn broke no connection"

# The churn is not what is tested: on a loaded machine one of its JACK commands can wait out a
# stalled server for long. It is given a minute, then killed, and the test goes on.
kill -TERM "$CHURN_PID"
deadline=$((SECONDS + 60))
while kill -0 "$CHURN_PID" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
if kill -0 "$CHURN_PID" 2>/dev/null; then
  echo "note: the churning client did not end within 60 s of SIGTERM; killed" >&2
  pkill -KILL -P "$CHURN_PID" 2>/dev/null || true
  kill -KILL "$CHURN_PID" 2>/dev/null || true
  wait "$CHURN_PID" 2>/dev/null || true
else
  wait "$CHURN_PID" || fail "the churning client did not end cleanly"
fi
sim_rc=0
kill -TERM "$SIM_PID"
wait "$SIM_PID" || sim_rc=$?
VELDA_PIDS=()
[ "$sim_rc" -eq 0 ] || fail "velda-sim ended with $sim_rc on SIGTERM, expected 0"
if [ -f "$work/sim.log" ] && grep -qi 'AddressSanitizer\|runtime error' "$work/sim.log"; then
  fail "velda-sim reported a fault"
fi

"$VELDA_SAMPLE" check "$VELDA_SOURCE_DIR/examples/sample" "$work/velda.uxs" "$work/memory" >"$work/check.txt" 2>&1 ||
  fail "the instrument's memory differs from the package: $(cat "$work/check.txt")"
echo "ok: completed under churn ($(grep -c '^connect ' "$work/churn.txt") connections made," \
  "$(grep -c '^client+ ' "$work/churn.txt") clients started), memory equal to the package"
