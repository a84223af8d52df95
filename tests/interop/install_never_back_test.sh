#!/usr/bin/env bash
# The instrument restarts into update mode and never comes back: after the port recovery the
# update-mode-on wait runs out (120 s) and the installer ends with the time-out.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument fault=never-return:mode-on:1
run_installer
expect_exit 4
expect_output "Time Out"
expect_quiet_stderr
# The recovery closed the instrument's ports; the update-mode-on wait is what ran out.
grep -q ' # Close MIDI In Driver : HALVEN USB IN 0-1$' "$work/trace.txt" || fail "the recovery did not close the ports"
grep -q ' # time-out waiting for reply kind 2$' "$work/trace.txt" || fail "not the update-mode-on wait that ran out"
echo "ok: time-out after the recovery, exit code 4"
