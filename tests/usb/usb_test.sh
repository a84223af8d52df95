#!/usr/bin/env bash
# The USB tests: one boot of the test machine runs every scenario of scenarios.sh; the test fails
# when the machine does not boot or any scenario fails, and prints each one's time.
#   usb_test.sh CACHE_DIR RESULTS_DIR (the programs come in the environment from ctest)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export VELDA_VM_ENV="VELDA_INSTALLER VELDA_SIM VELDA_SAMPLE VELDA_SOURCE_DIR VELDA_USB_SYSEX_TEST"
t0=$EPOCHREALTIME
rc=0
"$here/vm-rig" "$1" "$2" "$here/scenarios.sh" || rc=$?
echo "usb: ${rc} after $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s wall"
exit "$rc"
