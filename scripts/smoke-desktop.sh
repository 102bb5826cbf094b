#!/usr/bin/env bash
# Smoke test of the desktop wizard under a virtual X server: starts the real
# binary on samples/demo.vhd with a window manager, and checks that
#   1. it ends within 5 seconds of Ctrl+Q (Exit asks nothing);
#   2. it ends within 5 seconds of agreeing to the close question that the
#      window manager's close request brings up;
#   3. a user walks it by keyboard from the image to the scan page, ticks ROOT,
#      saves into a folder, and the saved files equal what The Sleuth Kit
#      recovers from a raw copy of the disk (skipped without qemu-img and
#      tsk_recover); Ctrl+Q then ends it within 5 seconds;
#   4. a user searches the scan page for two files by name, ticks both results,
#      saves them, and the output folder holds exactly those two files at their
#      paths, equal to The Sleuth Kit's (skipped as 3 is).
#
# Every wizard it starts has a runtime and a temporary folder of its own, so it
# never meets a wizard the user runs: a wizard standing for the user's, started
# first in other folders on the same display, stays up through every step.
#
#   scripts/smoke-desktop.sh TAVREL_BINARY SOURCE_DIR
#
# Exits 0 when both pass, 1 on a failure (everything it started is killed), and
# 77 (skipped) when Xvfb or xdotool is missing. The close-button check needs
# openbox and wmctrl and is skipped without them.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 TAVREL_BINARY SOURCE_DIR" >&2
  exit 2
fi
bin=$1
src=$2
image="$src/samples/demo.vhd"
title="Tavrel v3.02"
limit=5

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$bin" ] || { echo "FAIL: no binary at $bin" >&2; exit 1; }
[ -f "$image" ] || { echo "FAIL: $image is missing" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
app_pid=""
user_pid=""

stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 20); do
    alive "$pid" || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

cleanup() {
  stop_pid "$app_pid"
  stop_pid "$user_pid"
  stop_pid "$wm_pid"
  stop_pid "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  if [ -s "$work/app.log" ]; then
    echo "--- application output ---" >&2
    tail -n 40 "$work/app.log" >&2
  fi
  exit 1
}

# A child that has ended but was not reaped yet still answers kill -0.
alive() {
  [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# The X server picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  alive "$xvfb_pid" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not report a display"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
echo "Xvfb on $DISPLAY"

have_wm=0
if command -v openbox >/dev/null && command -v wmctrl >/dev/null; then
  openbox --sm-disable >"$work/wm.log" 2>&1 &
  wm_pid=$!
  # wmctrl answers once the manager has claimed the screen.
  for _ in $(seq 50); do
    wmctrl -m >/dev/null 2>&1 && { have_wm=1; break; }
    sleep 0.1
  done
  [ $have_wm -eq 1 ] || fail "openbox did not start: $(cat "$work/wm.log")"
else
  echo "no openbox/wmctrl: the close-button check is skipped"
fi

# The wizard's settings live in the work folder, never in the user's own.
export XDG_CONFIG_HOME="$work/config"

# The user's own wizard, in its runtime and temporary folders: the wizards below
# run in folders of their own and never meet it.
mkdir -m 700 "$work/user-runtime" "$work/runtime"
mkdir -p "$work/user-tmp" "$work/tmp"
XDG_RUNTIME_DIR="$work/user-runtime" TMPDIR="$work/user-tmp" \
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$bin" >"$work/user.log" 2>&1 &
user_pid=$!
for _ in $(seq 300); do
  alive "$user_pid" || fail "the wizard standing for the user's ended: $(cat "$work/user.log")"
  xdotool search --all --onlyvisible --pid "$user_pid" --name "^$title\$" >/dev/null 2>&1 && break
  sleep 0.1
done
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp"

# The windows of the wizard under test (never the user's) named like its title.
app_windows() {
  xdotool search --all --onlyvisible --pid "$app_pid" --name "${1:-^$title\$}" 2>/dev/null
}

# Starts the wizard on the demo image and sets app_pid and win (its main window).
start_app() {
  # Leaks inside the X and Qt libraries are not what this test looks for.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    "$bin" "$image" >"$work/app.log" 2>&1 &
  app_pid=$!
  win=""
  for _ in $(seq 300); do
    alive "$app_pid" || fail "tavrel ended before its window showed"
    win=$(app_windows | head -n1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || fail "no window named \"$title\" within 30 s"
  if [ $have_wm -eq 1 ]; then
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
  else
    xdotool windowfocus --sync "$win" 2>/dev/null || true
  fi
  # Let the first page finish opening the image before keys arrive.
  sleep 0.5
}

# Fails unless app_pid ends within the limit, with exit status 0.
expect_exit() {
  local what=$1
  local deadline=$(($(date +%s%N) + limit * 1000000000))
  while alive "$app_pid" && [ "$(date +%s%N)" -lt "$deadline" ]; do
    sleep 0.1
  done
  alive "$app_pid" && fail "tavrel still runs $limit s after $what"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ $status -eq 0 ] || fail "tavrel ended with status $status after $what"
  echo "ok: tavrel ended after $what"
}

# 1. Ctrl+Q.
start_app
xdotool key --clearmodifiers ctrl+q
expect_exit "Ctrl+Q"

# 2. The window manager's close request, then Yes to the close question.
if [ $have_wm -eq 1 ]; then
  start_app
  wmctrl -i -c "$win" || fail "wmctrl could not ask the window to close"
  box=""
  for _ in $(seq 50); do
    box=$(app_windows | grep -vx "$win" | head -n1)
    [ -n "$box" ] && break
    alive "$app_pid" || fail "tavrel ended on a close request without asking"
    sleep 0.1
  done
  [ -n "$box" ] || fail "no close question within 5 s of the close request"
  xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box"
  # Y is the Yes button's shortcut in a message box.
  xdotool key --clearmodifiers y
  expect_exit "Yes to the close question"
fi

# Waits for a message box of the wizard over its window and gives it the keyboard.
wait_box() {
  local box=""
  for _ in $(seq 100); do
    box=$(app_windows | grep -vx "$win" | head -n1)
    [ -n "$box" ] && break
    alive "$app_pid" || fail "tavrel ended while waiting for the message after $1"
    sleep 0.1
  done
  [ -n "$box" ] || fail "no message within 10 s of $1"
  xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus --sync "$box" 2>/dev/null || true
  sleep 0.2
}

# Starts the wizard and walks it with the keyboard to the scan page of the first
# volume; the scan's end message is closed with Return.
to_scanned_page() {
  start_app
  local page
  for page in "scan mode" "volume list" "recovery mode" "scan"; do
    # The volume list has the keyboard with the first volume current: Space chooses it.
    [ "$page" = "recovery mode" ] && xdotool key --clearmodifiers space && sleep 0.3
    xdotool key --clearmodifiers alt+n
    sleep 1
    alive "$app_pid" || fail "tavrel ended on the way to the $page page"
  done
  wait_box "the end of the scan"
  xdotool key --clearmodifiers Return
  sleep 0.5
}

# 3. The whole walk by keyboard, then the saved files against the oracle.
walk() {
  if ! command -v qemu-img >/dev/null || ! command -v tsk_recover >/dev/null || ! command -v mmls >/dev/null; then
    echo "no qemu-img or The Sleuth Kit: the save walk is skipped"
    return 0
  fi
  local out="$work/out"
  mkdir -p "$out" "$XDG_CONFIG_HOME/TavrelV3.02"
  # The folder dialog starts in the folder last used: make that the output folder.
  printf '[folders]\nsave=%s\n' "$out" >"$XDG_CONFIG_HOME/TavrelV3.02/TavrelV3.02.conf"
  to_scanned_page
  # The tree has the keyboard with ROOT current: Space ticks it, Alt+S saves.
  xdotool key --clearmodifiers space
  sleep 0.3
  xdotool key --clearmodifiers alt+s
  local dialog=""
  for _ in $(seq 50); do
    dialog=$(app_windows "." | grep -vx "$win" | head -n1)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || fail "no folder dialog within 5 s of Alt+S"
  sleep 0.5
  # The dialog opens in the output folder: Enter chooses it.
  xdotool key --clearmodifiers Return
  # The count of files found asks whether to go on: Yes. The end message then
  # asks whether to open the output folder: No.
  wait_box "choosing the output folder"
  xdotool key --clearmodifiers y
  sleep 1
  wait_box "the save"
  xdotool key --clearmodifiers n
  sleep 0.5
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --clearmodifiers ctrl+q
  expect_exit "Ctrl+Q after a save"

  # The oracle: every file The Sleuth Kit recovers from a raw copy of the disk,
  # at the same path in the output folder (ticking ROOT saves the volume's
  # top level there), with the same bytes.
  qemu-img convert -f vpc -O raw "$image" "$work/disk.raw" || fail "qemu-img could not convert the demo image"
  local start
  start=$(mmls -B "$work/disk.raw" | awk '/NTFS/ { print $3 + 0; exit }')
  [ -n "$start" ] || fail "mmls found no NTFS volume on the demo image"
  tsk_recover -a -o "$start" "$work/disk.raw" "$work/oracle" >/dev/null || fail "tsk_recover failed"
  local checked=0 file
  while IFS= read -r -d '' file; do
    local rel=${file#"$work/oracle/"}
    [ -f "$out/$rel" ] || fail "not saved: $rel"
    cmp -s "$file" "$out/$rel" || fail "saved bytes differ: $rel"
    checked=$((checked + 1))
  done < <(find "$work/oracle" -type f -print0)
  [ $checked -gt 0 ] || fail "the oracle recovered no file"
  echo "ok: $checked saved files equal the oracle's"
}
walk

# 4. A search on the scan page, two results ticked and saved: exactly those two
# files land in the output folder, at their paths below ROOT.
search_walk() {
  [ -d "$work/oracle" ] || { echo "no oracle: the search walk is skipped"; return 0; }
  local out="$work/found"
  mkdir -p "$out"
  printf '[folders]\nsave=%s\n' "$out" >"$XDG_CONFIG_HOME/TavrelV3.02/TavrelV3.02.conf"
  to_scanned_page
  # Alt+F puts the keyboard in the search field, Alt+E searches.
  xdotool key --clearmodifiers alt+f
  xdotool type --delay 20 'beach|letter'
  xdotool key --clearmodifiers alt+e
  wait_box "the search"
  xdotool key --clearmodifiers Return
  sleep 0.5
  # From the search field: the button, the preview toggle, the tree, then the
  # list of results; Space ticks the first result, Down and Space the second.
  xdotool key --clearmodifiers --delay 150 Tab Tab Tab Tab ctrl+Home space Down space
  sleep 0.3
  xdotool key --clearmodifiers alt+s
  local dialog=""
  for _ in $(seq 50); do
    dialog=$(app_windows "." | grep -vx "$win" | head -n1)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] || fail "no folder dialog within 5 s of Alt+S after the search"
  sleep 0.5
  xdotool key --clearmodifiers Return
  wait_box "choosing the output folder after the search"
  xdotool key --clearmodifiers y
  sleep 1
  wait_box "the save of the search results"
  xdotool key --clearmodifiers n
  sleep 0.5
  xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --clearmodifiers ctrl+q
  expect_exit "Ctrl+Q after saving search results"

  local saved
  saved=$(cd "$out" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  [ "$saved" = "Documents/Letters/letter-to-anna.txt Pictures/beach.jpg " ] ||
    fail "the ticked results were not saved alone at their paths: $saved"
  local rel
  for rel in Documents/Letters/letter-to-anna.txt Pictures/beach.jpg; do
    cmp -s "$work/oracle/$rel" "$out/$rel" || fail "saved bytes differ: $rel"
  done
  echo "ok: the two ticked search results equal the oracle's"
}
search_walk

alive "$user_pid" || fail "the wizard standing for the user's ended during the test"
echo "desktop smoke test passed"
exit 0
