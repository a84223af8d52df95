#!/usr/bin/env bash
# A complete installation of the sample package over JACK between two processes, with the
# instrument's restart into update mode and the port recovery: the instrument's memory equals the
# package, and jack_midi_dump, listening to the installer's output ports, saw exactly the
# messages of the installer's own trace.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument restart-ms=1000

# The witness: jack_midi_dump on every output port the installer opens (it opens new ones after
# the recovery).
jack_midi_dump -a >"$work/witness.txt" 2>/dev/null &
started $!
wait_for_port "midi-monitor:input"
(
  while :; do
    for port in $(jack_lsp 2>/dev/null | grep '^velda-installer[-0-9]*:out$'); do
      jack_connect "$port" midi-monitor:input >/dev/null 2>&1 || true
    done
    sleep 0.05
  done
) &
started $!

run_installer
expect_exit 0
expect_output "Installation is completed."
expect_quiet_stderr

# SIGUSR1 writes the instrument's memory while it runs.
kill -USR1 "$SIM_PID"
for _ in $(seq 100); do
  ls "$work/memory"/device-*.hex >/dev/null 2>&1 && break
  sleep 0.05
done
ls "$work/memory"/device-*.hex >/dev/null 2>&1 || fail "SIGUSR1 wrote no dump"
kill -0 "$SIM_PID" || fail "velda-sim ended on SIGUSR1"
rm -rf "$work/memory"
stop_sim  # writes the dump again, on its way out

"$VELDA_SAMPLE" check "$VELDA_SOURCE_DIR/examples/sample" "$work/velda.uxs" "$work/memory" >"$work/check.txt" 2>&1 ||
  fail "the instrument's memory differs from the package: $(cat "$work/check.txt")"

# The bytes on the wire equal the trace's sent messages, in order.
awk '$2 == ">" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' "$work/trace.txt" >"$work/sent.txt"
"$here/witness-to-hex" "$work/witness.txt" >"$work/wire.txt"
[ -s "$work/sent.txt" ] || fail "the trace holds no sent message"
cmp -s "$work/sent.txt" "$work/wire.txt" ||
  fail "jack_midi_dump saw other bytes than the trace: $(wc -l <"$work/sent.txt") traced, $(wc -l <"$work/wire.txt") seen"
echo "ok: $(wc -l <"$work/sent.txt") messages, memory equal to the package"
