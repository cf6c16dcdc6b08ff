#!/usr/bin/env bash
# Runs a test program under an X server and a window manager of its own (Xvfb and openbox on a free
# display), so that window frames and their placement are those of a desktop, not of the offscreen
# platform's frameless windows. Exits 77 (skipped) where Xvfb or openbox is missing.
# Usage: tests/support/run-under-wm.sh PROGRAM [ARGUMENTS...]
set -u
if ! command -v Xvfb > /dev/null || ! command -v openbox > /dev/null; then
  echo "SKIP: Xvfb and openbox are needed for window frames (apt-get install xvfb openbox)"
  exit 77
fi
work=$(mktemp -d)
server=
manager=
cleanup() {
  [ -n "$manager" ] && kill "$manager" 2> /dev/null
  [ -n "$server" ] && kill "$server" 2> /dev/null
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server names the display it found free once it is ready for clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
server=$!
if ! read -r -t 20 number < "$work/display"; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
# openbox runs its startup command once it manages the screen.
DISPLAY=":$number" openbox --sm-disable --startup "touch $work/managing" > "$work/openbox.log" 2>&1 &
manager=$!
for _ in $(seq 200); do
  [ -e "$work/managing" ] && break
  sleep 0.05
done
if [ ! -e "$work/managing" ]; then
  echo "openbox did not start:" >&2
  cat "$work/openbox.log" >&2
  exit 1
fi
# Under the leak checker, the desktop's own libraries are not the program's leaks.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/lsan-desktop.supp:print_suppressions=0"
QT_QPA_PLATFORM=xcb "$@"
