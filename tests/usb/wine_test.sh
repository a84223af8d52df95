#!/usr/bin/env bash
# The Windows program over Wine's own winmm and the kernel's USB-MIDI stack: one boot of the test
# machine runs wine_scenarios.sh; the test fails when the machine does not boot or a scenario
# fails.
#   wine_test.sh KERNEL_CACHE PREFIX_DIR RESULTS_DIR (the programs come in the environment)
# The Wine prefix is made here once (about 700 MB, half a minute) and kept while Wine's version
# stays; the machine puts an overlay on it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for v in VELDA_WINDOWS_EXE VELDA_SIM VELDA_SAMPLE; do
  [ -x "${!v}" ] || { echo "FAIL: $v: ${!v} is not built (velda-sim and velda-sample come from the default build)"; exit 1; }
done
mkdir -p "$2"
prefix=$(cd "$2" && pwd)/prefix
version=$(wine --version)
if [ "$(cat "$prefix.version" 2>/dev/null)" != "$version" ]; then
  rm -rf "$prefix" "$prefix.version"
  (
    export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    timeout 300 wineboot --init >/dev/null 2>&1
    timeout 120 wineserver -w
    # Unmanaged windows: the machine has no window manager.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    timeout 120 wineserver -w
  ) || { echo "FAIL: the Wine prefix could not be made in $prefix"; exit 1; }
  echo "$version" >"$prefix.version"
fi
export VELDA_WINE_PREFIX=$prefix
export VELDA_VM_ENV="VELDA_WINDOWS_EXE VELDA_WINE_PREFIX VELDA_SIM VELDA_SAMPLE VELDA_SOURCE_DIR"
# Without SMAP off every Wine process hits a kernel oops under TCG; Wine wants 2 GiB.
export VELDA_VM_CPU=max,-smap VELDA_VM_MEMORY=2048
t0=$EPOCHREALTIME
rc=0
"$here/vm-rig" "$1" "$3" "$here/wine_scenarios.sh" || rc=$?
echo "usb wine: ${rc} after $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s wall"
for s in wine_list_ports wine_install; do
  "$here/scenario_result.sh" "$3" "$s" || rc=1
done
exit "$rc"
