#!/usr/bin/env bash
# scripts/check-layers passes on the tree, and fails on a copy with a forbidden include planted,
# naming the file and the line.
# Usage: check_layers_test.sh SOURCE_DIR
set -uo pipefail
ROOT="$1"
CHECK="$ROOT/scripts/check-layers"
FAILED=0

if ! "$CHECK" "$ROOT"; then
  echo "FAIL: the tree breaks the layering" >&2
  FAILED=1
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp -r "$ROOT/src" "$WORK/src"

# file (under src/) | include planted as its first line | the layer named in the message
while IFS='|' read -r FILE HEADER LAYER; do
  sed -i "1i #include \"$HEADER\"" "$WORK/src/$FILE"
  OUT=$("$CHECK" "$WORK" 2>&1)
  RC=$?
  EXPECTED="src/$FILE:1: $LAYER may not include $HEADER"
  if [ "$RC" -eq 0 ] || ! grep -qxF "$EXPECTED" <<<"$OUT"; then
    echo "FAIL: planting $HEADER in $FILE: exit $RC, expected \"$EXPECTED\", got:" >&2
    echo "$OUT" >&2
    FAILED=1
  fi
  cp "$ROOT/src/$FILE" "$WORK/src/$FILE"
done <<'PLANTS'
instrument/sim_instrument.cpp|shell/steps.h|instrument
instrument/sparse_memory.h|protocol/messages.h|instrument
protocol/reply_table.cpp|shell/steps.h|protocol
script/package_reader.cpp|fw/trace.h|script
script/keyword_table.cpp|script/steps/reply_steps.h|script
fw/cstring.cpp|midi/midi_ctrl.h|fw
midi/driver/midi_driver.cpp|instrument/sim_instrument.h|midi/driver
midi/midi_ctrl.cpp|shell/installer_dlg.h|midi
shell/outcome.cpp|ui/tty/tty_text.h|shell
protocol/steps/senders.cpp|midi/driver/virtual/virtual_midi_driver.h|steps
ui/tty/tty_text.cpp|shell/installer_dlg.h|ui/tty
PLANTS

[ "$FAILED" -eq 0 ] && echo "check-layers: the tree passes and every planted include is caught"
exit "$FAILED"
