#!/usr/bin/env bash
# Runs inside xvfb-run from run-example.sh: drives the example demo through
# its start dialog and saves a screenshot of the main window.
set -uo pipefail
ROOT=$1
SHOT="$ROOT/build/example-screenshot.png"
LOG="$ROOT/build/example-run.log"
rm -f "$SHOT"

"$ROOT/build/tarvonic" >"$LOG" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT

find_window() { # title -> window id, waiting up to 20 s
  for _ in $(seq 1 100); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1)
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    kill -0 $pid 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

dialog=$(find_window "Tarvonic demo system - Quellin 2015-2016") || {
  echo "The start dialog did not open; see $LOG" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$dialog")"
# No window manager here: give the dialog the keyboard ourselves.
xdotool mousemove $((X + 20)) $((Y + 20))
xdotool windowfocus "$dialog"
sleep 0.5
# No sync editor here: play from the track files (R turns the editors off).
xdotool key r
sleep 0.3
xdotool key Return

main=$(find_window "demo  -  Quellin 2018") || {
  echo "The main view did not open; see $LOG" >&2; exit 1; }
# The main view sits beside the edit view and reaches past the screen's
# edge; bring all of it into view for the picture.
xdotool windowmove "$main" 0 0
sleep 4
# Software rendering of the whole demo can take seconds a frame on a busy
# machine: until the first frame is up, the window is black. Wait for a
# picture (at most half a minute more).
for _ in $(seq 1 15); do
  import -window "$main" "$SHOT"
  mean=$(convert "$SHOT" -format "%[fx:mean]" info: 2>/dev/null || echo 0)
  awk -v m="$mean" 'BEGIN { exit !(m > 0.01) }' && break
  sleep 2
done
echo "Screenshot of the main window: $SHOT"
echo "Program log: $LOG"
