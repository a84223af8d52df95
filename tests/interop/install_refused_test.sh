#!/usr/bin/env bash
# The instrument refuses the first block start: the installer shows the refusal box and ends with
# the refusal's exit code; nothing of the block is written.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/jack-server.sh"
. "$here/installation.sh"

start_sim --instrument restart-ms=1000 --instrument fault=refuse:block-start:1
run_installer
expect_exit 3
expect_output "I have a Error."
expect_output "Close Install Jub."
expect_quiet_stderr
grep -q ' > F0 ' "$work/trace.txt" || fail "nothing was sent"
echo "ok: refused, exit code 3"
