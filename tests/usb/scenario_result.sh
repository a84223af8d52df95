#!/usr/bin/env bash
# One scenario's verdict from the shared boot (usb_test.sh ran them all):
#   scenario_result.sh RESULTS_DIR NAME
set -uo pipefail
line=$(grep "^$2 " "$1/summary.txt" 2>/dev/null)
if [ -z "$line" ]; then
  echo "FAIL: the scenario $2 did not run (see usb_boot)"
  exit 1
fi
echo "$line"
[ -f "$1/$2/report.txt" ] && cat "$1/$2/report.txt"
case "$line" in "$2 ok "*) exit 0 ;; esac
exit 1
