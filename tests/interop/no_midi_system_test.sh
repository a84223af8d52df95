#!/usr/bin/env bash
# With no JACK server and no ALSA sequencer: one clear line and the port-error exit code, for the
# installer (default, alsa, jack), its port list, and velda-sim.
set -euo pipefail
export JACK_DEFAULT_SERVER="velda-none-$$" JACK_NO_START_SERVER=1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR="$tmp"
if [ -e /dev/snd/seq ]; then
  echo "this machine has an ALSA sequencer: only JACK is checked"
fi

check() {
  local expect_line=$1
  shift
  local rc=0
  "$@" >"$tmp/out" 2>"$tmp/err" </dev/null || rc=$?
  [ "$rc" -eq 7 ] || { echo "FAIL: $* ended with $rc, expected 7" >&2; cat "$tmp/out" "$tmp/err" >&2; exit 1; }
  [ "$(wc -l <"$tmp/err")" -eq 1 ] || { echo "FAIL: $* wrote more than one line:" >&2; cat "$tmp/err" >&2; exit 1; }
  grep -qF -- "$expect_line" "$tmp/err" || { echo "FAIL: $* said: $(cat "$tmp/err")" >&2; exit 1; }
  [ ! -s "$tmp/out" ] || { echo "FAIL: $* wrote to stdout" >&2; exit 1; }
}

check "velda-installer: no MIDI system is available: no JACK server is running" \
  "$VELDA_INSTALLER" --tui --yes --midi-api jack
check "velda-installer: no MIDI system is available: no JACK server is running" \
  "$VELDA_INSTALLER" --list-ports --midi-api jack
check "velda-sim: no MIDI system is available: no JACK server is running" "$VELDA_SIM" --midi-api jack
if [ ! -e /dev/snd/seq ]; then
  check "velda-installer: no MIDI system is available: the ALSA sequencer cannot be opened and no JACK server is running" \
    "$VELDA_INSTALLER" --tui --yes
  check "velda-installer: no MIDI system is available: the ALSA sequencer cannot be opened" \
    "$VELDA_INSTALLER" --tui --yes --midi-api alsa
fi
echo "ok"
