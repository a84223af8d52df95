#!/usr/bin/env bash
# The JACK server dies in the middle of the upload: the installer does not crash (this test also
# runs in the AddressSanitizer build), reports the time-out of the unanswered data packet and
# exits cleanly with the time-out's exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument restart-ms=1000
"$VELDA_INSTALLER" --yes --tui --midi-api jack --package "$work/velda.uxs" --trace "$work/trace.txt" \
  >"$work/out.txt" 2>"$work/err.txt" </dev/null &
pid=$!
started "$pid"

# The upload is under way once a few data packets (F0 43 50 ... with a 0B kind) went out.
for _ in $(seq 1200); do
  packets=$(awk '$2 == ">" && length($0) > 3000' "$work/trace.txt" 2>/dev/null | wc -l || true)
  [ "$packets" -ge 3 ] && break
  sleep 0.1
done
stop_jack
rc=0
wait "$pid" || rc=$?
VELDA_PIDS=("$SIM_PID")
INSTALLER_RC=$rc
expect_exit 4
expect_output "Time Out"
grep -qi 'AddressSanitizer\|runtime error' "$work/err.txt" && fail "the sanitizer reported a fault"
expect_quiet_stderr
grep -q 'JACK server has gone away' "$work/trace.txt" || fail "the trace does not tell that the server went away"
echo "ok: server killed mid-upload, time-out, exit code 4"
