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
wait_window() {  # wait_window TITLE SECONDS
  local w=""
  for _ in $(seq $(($2 * 10))); do
    w=$(visible "$1")
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  fail "no window \"$1\" within $2 s"
}

wait_gone() {  # wait_gone WINDOW SECONDS
  for _ in $(seq $(($2 * 10))); do
    xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    sleep 0.1
  done
  fail "window $1 still there after $2 s"
}

answer_box() {  # answer_box SHOT-NAME
  wait_window "$BOX" 60 >/dev/null
  sleep 0.3
  capture "$BOX" "$1"
  local w
  w=$(wait_window "$BOX" 10)
  xdotool key --window "$w" Return
  wait_gone "$w" 10
}

wine "$sample" make "$src/examples/sample" velda.uxs >/dev/null 2>&1 || fail "the sample package was not made"

# ---- A whole installation, answered by hand, through winmm: the unmodified program beside the
# test winmm.dll, which Wine loads instead of its own.
mkdir app
cp "$exe" "$test_winmm" app/
rc_file=first.rc
( set +e; VELDA_TEST_INSTRUMENT="dump=mem" WINEDLLOVERRIDES="mscoree,mshtml=;winmm=n,b" \
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
# While the instrument restarts the installer pauses in its port recovery; later it uploads.
sleep 12
capture "$TITLE" main-window-recovery
sleep 10
capture "$TITLE" main-window-upload
cp "$shots/main-window-upload.png" "$build/screenshot-windows.png"

# The end is read from the exit code: the completion box was answered by itself in runs made
# before key autorepeat was switched off (wine_session.sh), and is not yet captured here.
for _ in $(seq 240); do [ -s "$rc_file" ] && break; sleep 0.5; done
[ -s "$rc_file" ] || fail "the installation did not end"
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

echo "windows installation test: passed"
