#!/usr/bin/env bash
# The Windows program under Wine and Xvfb, as a user runs it: the four questions answered with the
# keyboard, a whole installation through the program's winmm backend into the simulated
# instrument of the test-only winmm.dll (its restart into update mode and the port recovery
# included), the completion box confirmed; the dump must equal the package and the trace must
# read as on Linux. Meanwhile a second copy must end at once without a window. Every window and
# box is captured by its own X window while it waits and must not be one flat colour.
#   installation_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
exe="$build/apps/velda-installer/velda-installer.exe"
test_winmm="$build/test-winmm/winmm.dll"
sample="$build/examples/velda-sample.exe"
shots="$build/windows-screenshots"
mkdir -p "$shots"

source "$src/tests/windows/wine_session.sh"
# The run's files live in the build folder: nothing outside it can sweep them away mid-run.
run="$build/windows-installation"
rm -rf "$run"
mkdir -p "$run"
cd "$run"

fail() { echo "FAIL: $*" >&2; exit 1; }
TITLE='VELDA Installer Ver. 1.10'
BOX='VELDA Installer'

# A window's own picture, found by its title (a box has its own visual and reads back black from
# the root window; Wine may remake a box's X window while showing it, so look again if it went).
# Fails on a window that is one colour only: nothing was painted.
capture() {  # capture TITLE NAME
  local w ok=""
  for _ in $(seq 10); do
    w=$(visible "$1")
    if [ -n "$w" ] && xwd -silent -id "$w" -out "$shots/$2.xwd" 2>/dev/null; then ok=1; break; fi
    sleep 0.3
  done
  [ -n "$ok" ] || fail "$2: no window \"$1\" to capture"
  convert "$shots/$2.xwd" "$shots/$2.png"
  rm -f "$shots/$2.xwd"
  local colours
  colours=$(identify -format '%k' "$shots/$2.png")
  [ "$colours" -gt 2 ] || fail "$2: the window is not painted ($colours colours)"
}

visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true; }

# Waits until a visible window with that exact title appears, or fails after SECONDS.
# Prints the id of a visible window with that exact title once there is one; false after SECONDS.
window_within() {  # window_within TITLE SECONDS
  local w=""
  for _ in $(seq $(($2 * 10))); do
    w=$(visible "$1")
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

wait_window() {  # wait_window TITLE SECONDS
  window_within "$1" "$2" || fail "no window \"$1\" within $2 s"
}

# True when the window went (closed or hidden) within SECONDS.
gone_within() {  # gone_within WINDOW SECONDS
  for _ in $(seq $(($2 * 10))); do
    xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    sleep 0.1
  done
  return 1
}

# Answers a box with Return (OK, its default button), as a user would: the box gets the input
# focus first, and the key is pressed again while the box stays (under load a key can come
# before the box takes input).
press_return() {  # press_return WINDOW WHAT
  for _ in $(seq 8); do
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key --clearmodifiers Return
    gone_within "$1" 2 && return 0
  done
  fail "$2 does not take Return"
}

answer_box() {  # answer_box SHOT-NAME
  wait_window "$BOX" 60 >/dev/null
  sleep 0.3
  capture "$BOX" "$1"
  press_return "$(wait_window "$BOX" 10)" "$1"
}

wine "$sample" make "$src/examples/sample" velda.uxs >/dev/null 2>&1 || fail "the sample package was not made"

# Clicks a control of a window given in dialog units (left, top, width, height) of a template
# that is WIDTH x HEIGHT units: unmanaged, the X window is the whole Windows window, whose client
# area starts below Wine's caption (22 px) inside a 3 px frame.
click_control() {  # click_control WINDOW TEMPLATE-W TEMPLATE-H LEFT TOP WIDTH HEIGHT
  local geometry w h x y
  geometry=$(xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
  read -r w h <<<"$geometry"
  x=$(( 3 + (w - 6) * ($4 * 2 + $6) / ($2 * 2) ))
  y=$(( 22 + (h - 25) * ($5 * 2 + $7) / ($3 * 2) ))
  xdotool mousemove --window "$1" "$x" "$y" click 1
}

# ---- A whole installation, answered by hand, through winmm: the unmodified program beside the
# test winmm.dll, which Wine loads instead of its own. The instrument does not answer the first
# run's inquiries, so that run times out; the user then chooses the ports with MIDI Port and the
# installation runs again, to its end.
mkdir app
cp "$exe" "$test_winmm" app/
rc_file=first.rc
( set +e; VELDA_TEST_INSTRUMENT="dump=mem fault=no-reply:inquiry:1:31" WINEDLLOVERRIDES="mscoree,mshtml=;winmm=n,b" \
    wine app/velda-installer.exe --package velda.uxs --trace run.trace >first.out 2>first.err
  echo $? >"$rc_file" ) &
first=$!

answer_box question-1
# A second copy on a real instrument while the first runs: it ends at once, silently, with no
# window of its own. (A --virtual copy would take a lock of its own, named after its folder.)
t0=$(date +%s)
set +e; wine "$exe" >second.out 2>&1; second_rc=$?; set -e
[ "$second_rc" -eq 8 ] || fail "second copy: exit code $second_rc, expected 8"
[ $(( $(date +%s) - t0 )) -lt 20 ] || fail "second copy did not end at once"
answer_box question-2
answer_box question-3
answer_box question-4

# The 5 s start pause comes before the window is shown.
main=$(wait_window "$TITLE" 30)
sleep 1
capture "$TITLE" main-window-start
# The unanswered inquiry times out 15 s after it was first sent.
answer_box time-out
# The window waits for the user; MIDI Port offers the ports with the current ones chosen.
sleep 1
capture "$TITLE" main-window-timed-out
# A click that comes before the button is enabled is lost: click again while no dialog shows.
for _ in 1 2 3; do
  click_control "$main" 230 69 105 49 59 14
  window_within "MIDI Port Select" 4 >/dev/null && break
done
wait_window "MIDI Port Select" 1 >/dev/null
sleep 0.3
capture "MIDI Port Select" port-select
press_return "$(wait_window "MIDI Port Select" 5)" "the MIDI Port Select dialog"
# While the instrument restarts the installer pauses in its port recovery (20 s in all).
sleep 12
capture "$TITLE" main-window-recovery
# Then it uploads, with a 15 ms pause after each data packet (F0 43 50 ... of over 3000 bytes).
for _ in $(seq 600); do
  [ "$(tr -d '\r' <run.trace | awk '$2 == ">" && length($0) > 3000' | wc -l)" -ge 5 ] && break
  sleep 0.1
done
capture "$TITLE" main-window-upload
cp "$shots/main-window-upload.png" "$build/screenshot-windows.png"

wait_window "$BOX" 240 >/dev/null
answer_box completion
for _ in $(seq 60); do [ -s "$rc_file" ] && break; sleep 0.5; done
[ -s "$rc_file" ] || fail "the installation did not end after the completion box"
wait "$first" || true
[ "$(cat "$rc_file")" = 0 ] || fail "the installation ended with exit code $(cat "$rc_file"): $(cat first.out first.err)"

wine "$sample" check "$src/examples/sample" velda.uxs mem >check.out 2>&1 || fail "the memory dump differs from the package: $(cat check.out)"
# The trace: every line "<ms> <dir> <payload>", the inquiry sent first, the final baud reset last.
tr -d '\r' <run.trace >run.txt
awk '$2 != ">" && $2 != "<" && $2 != "#" { print "bad line: " $0; bad = 1 } END { exit bad }' run.txt \
  || fail "malformed trace lines"
first_sent=$(awk '$2 == ">" { $1 = ""; $2 = ""; sub(/^  /, ""); print; exit }' run.txt)
last_sent=$(awk '$2 == ">" { $1 = ""; $2 = ""; sub(/^  /, ""); s = $0 } END { print s }' run.txt)
[ "$first_sent" = "F0 43 50 03 00 00 02 F7" ] || fail "first message sent: $first_sent"
[ "$last_sent" = "F0 43 50 03 00 05 01 F7" ] || fail "last message sent: $last_sent"
# The first run sent its inquiry 31 times (once, then on each of the 30 ticks); the second, once.
inquiries=$(awk '$2 == ">" && $0 ~ /F0 43 50 03 00 00 02 F7$/' run.txt | wc -l)
[ "$inquiries" -eq 32 ] || fail "inquiries sent: $inquiries, expected 31 before the time-out and 1 after"

echo "windows installation test: passed"
