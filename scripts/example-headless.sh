#!/usr/bin/env bash
# Runs inside xvfb-run from run-example.sh: drives the example demo through
# its start dialog and saves a screenshot of the main window.
set -uo pipefail
ROOT=$1
SHOT="$ROOT/build/example-screenshot.png"
LOG="$ROOT/build/example-run.log"
rm -f "$SHOT"

# No sync editor here: play the playback setup from the track files. A setup
# remembered from an earlier run would come first in the dialog; it is put
# back afterwards.
CFG=fx/currentActiveScenesSetup.cfg
SAVED=""
if [[ -f "$CFG" ]]; then
  SAVED=$(mktemp)
  cp "$CFG" "$SAVED"
fi
printf 'lumenfall.as' >"$CFG"
restore() {
  if [[ -n "$SAVED" ]]; then mv "$SAVED" "$CFG"; else rm -f "$CFG"; fi
}

"$ROOT/build/tarvonic" >"$LOG" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; restore' EXIT

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
# The playback setup has the sync editors off.
xdotool key Return

main=$(find_window "demo  -  Quellin 2018") || {
  echo "The main view did not open; see $LOG" >&2; exit 1; }
# The main view sits beside the edit view and reaches past the screen's
# edge; bring all of it into view for the picture.
xdotool windowmove "$main" 0 0
# The music starts once the skenes are loaded and their shaders settled (the
# log then says "rocket paused called"); software rendering can take a while
# to get there on a busy machine (at most a minute). A few seconds into the
# demo the title, the crystal and the embers are all up.
for _ in $(seq 1 120); do
  grep -aq "rocket paused called" "$LOG" && break
  kill -0 $pid 2>/dev/null || { echo "The demo ended early; see $LOG" >&2; exit 1; }
  sleep 0.5
done
sleep 5
import -window "$main" "$SHOT"
echo "Screenshot of the main window: $SHOT"
echo "Program log: $LOG"
