#!/usr/bin/env bash
# The installer waits at the "Can't open" box (the instrument is not there yet) when the JACK
# server dies and is started again under the same name, with the instrument on it. The user
# answers the box, presses MIDI Port and keeps the marked entries: the menu lists the instrument's
# ports on the new server, and the installation completes with the memory equal to the package.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

# wait_for_output TEXT [S]: until the installer's output shows TEXT (up to S seconds, default 60).
wait_for_output() {
  local deadline=$((SECONDS + ${2:-60}))
  until grep -qF -- "$1" "$work/out.txt" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || fail "velda-installer ended before it showed: $1"
    [ "$SECONDS" -lt "$deadline" ] || fail "the output does not show: $1"
    sleep 0.05
  done
}

# The user's keyboard: a pipe the test keeps open, so that the input ends only when the test says.
mkfifo "$work/keys"
exec 3<>"$work/keys"
"$VELDA_INSTALLER" --tui --midi-api jack --package "$work/velda.uxs" --trace "$work/trace.txt" \
  <"$work/keys" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
started "$pid"
printf '\n\n\n\n' >&3  # the four questions
wait_for_output "  Can't open "

stop_jack
start_jack || fail "the JACK server did not start again"
start_sim
kill -0 "$pid" 2>/dev/null || fail "velda-installer ended when the JACK server died"

# OK to the box, MIDI Port, the marked input and output, OK to "Installation is completed.".
printf '\n' >&3
wait_for_output "Waiting for you: p = MIDI Port, c = Close, q = close the window"
printf 'p\n\n\n\n' >&3
exec 3>&-

rc=0
wait "$pid" || rc=$?
INSTALLER_RC=$rc
grep -qi 'AddressSanitizer\|runtime error' "$work/err.txt" && fail "velda-installer reported a fault"
expect_exit 0
grep -A2 -F "== MIDI Port Select ==" "$work/out.txt" | grep -qF "  1) HALVEN USB IN 0-1  *" ||
  fail "the menu does not list the instrument's input on the new server"
expect_output "Installation is completed."
expect_output "Result: completed (exit code 0)"
expect_quiet_stderr

stop_sim
VELDA_PIDS=()
"$VELDA_SAMPLE" check "$VELDA_SOURCE_DIR/examples/sample" "$work/velda.uxs" "$work/memory" >"$work/check.txt" 2>&1 ||
  fail "the instrument's memory differs from the package: $(cat "$work/check.txt")"
echo "ok: server restarted at a box, MIDI Port listed the new ports, installation completed"
