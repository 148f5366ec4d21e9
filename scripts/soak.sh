#!/usr/bin/env bash
# A long session of a demo (not part of the tests): it plays headless for
# the given minutes, starting over near the end of its music, while a sync
# editor of our own connects, serves the demo's tracks and goes away again
# every few seconds. Every 10 s it records memory (RSS) and the drift
# between the demo clock and the music that sounds; it fails when memory
# after the warm-up peaks over 5 % above its peak during the warm-up, or
# when the clock and the music part by more than one 60 Hz frame over a
# second. The table goes to bench/soak-<demo>.md (or the third argument).
#
# Usage: scripts/soak.sh [demo folder, default examples/lumenfall] [minutes, default 30] [table] [soak_demo options]
# (for instance -offsets:FILE, every frame's drift, or -mallocInfo:FILE)
set -euo pipefail
cd "$(dirname "$0")/.."
DEMO=${1:-examples/lumenfall}
MINUTES=${2:-30}
TABLE=${3:-bench/soak-$(basename "$DEMO").md}
scripts/install-deps.sh >/dev/null
scripts/build.sh --target soak_demo
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
status=0
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  "${BUILD_DIR:-build}/bench/soak_demo" "$DEMO" -seconds:$((MINUTES * 60)) -out:"$TABLE.tmp" "${@:4}" \
  2> >(grep '^soak' >&2) || status=$?
if [[ -f "$TABLE.tmp" ]]; then
  {
    echo "# Soak: $(basename "$DEMO"), $MINUTES min"
    echo
    echo "scripts/soak.sh $DEMO $MINUTES on $(date -u +%Y-%m-%d), $(nproc) cores, Xvfb with llvmpipe, the silent audio output."
    echo
    cat "$TABLE.tmp"
  } >"$TABLE"
  rm -f "$TABLE.tmp"
  echo "soak: table in $TABLE"
fi
exit $status
