#!/usr/bin/env bash
# The instrument refuses the first block start: the installer shows the refusal box and ends with
# the refusal's exit code; nothing of the block is written.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument restart-ms=1000 --instrument fault=refuse:block-start:1

# The real ports as the installer lists them, numbered, with the MIDI system.
"$VELDA_INSTALLER" --list-ports --midi-api jack >"$work/ports.txt" 2>&1 || fail "--list-ports failed"
grep -qx 'MIDI system: jack' "$work/ports.txt" || fail "--list-ports does not name JACK: $(cat "$work/ports.txt")"
grep -qE '^  [0-9]+  HALVEN USB IN 0-1$' "$work/ports.txt" || fail "--list-ports: no input HALVEN USB IN 0-1"
grep -qE '^  [0-9]+  HALVEN USB OUT 0-1$' "$work/ports.txt" || fail "--list-ports: no output HALVEN USB OUT 0-1"

run_installer
expect_exit 3
expect_output "I have a Error."
expect_output "Close Install Jub."
expect_quiet_stderr
grep -q ' > F0 ' "$work/trace.txt" || fail "nothing was sent"

echo "ok: refused, exit code 3"
