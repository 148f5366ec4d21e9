#!/usr/bin/env bash
# Looks for memory that a demo session loses frame after frame (not part of
# the tests): builds the program with AddressSanitizer into build-asan,
# plays the example demo headless with a sync editor coming and going for
# 500 and then 2,000 frames under LeakSanitizer, and compares what each run
# leaves unfreed at its end. Libraries keep some memory for good; a leak in
# a frame would grow with the frame count.
#
# Usage: scripts/leak-check.sh [demo folder, default examples/lumenfall]
# LEAK_CHECK_FRAMES="<short> <long>" plays other frame counts (a machine that
# draws the demo at a frame a second under the sanitizers takes 40 minutes
# for the default "500 2000").
set -euo pipefail
cd "$(dirname "$0")/.."
DEMO=${1:-examples/lumenfall}
read -r SHORT LONG <<<"${LEAK_CHECK_FRAMES:-500 2000}"
export BUILD_DIR=build-asan TARVONIC_SANITIZE=1
scripts/install-deps.sh >/dev/null
scripts/build.sh --target soak_demo
export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
# The quick unwinder: the thorough one (fast_unwind_on_malloc=0) takes the
# unwinder's own lock inside malloc, which llvmpipe's compiler calls while it
# holds that lock, and the session hangs at its first shader.
export ASAN_OPTIONS="detect_leaks=1"
leaked() { # frames -> "<bytes> <allocations>"
  local log
  log=$(mktemp)
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
    build-asan/bench/soak_demo "$DEMO" -frames:"$1" >/dev/null 2>"$log" || true
  if ! grep -q "soak: $1 frames" "$log"; then
    tail -n 40 "$log" >&2
    echo "leak-check: the $1-frame session did not finish" >&2
    exit 2
  fi
  cp "$log" "build-asan/leak-check-$1.log"
  grep -oE 'SUMMARY: AddressSanitizer: [0-9]+ byte\(s\) leaked in [0-9]+ allocation' "$log" |
    awk '{print $3, $7}' || echo "0 0"
  rm -f "$log"
}
read -r short_bytes short_count < <(leaked "$SHORT")
read -r long_bytes long_count < <(leaked "$LONG")
echo "leak-check: $SHORT frames leave $short_bytes bytes in $short_count allocations unfreed"
echo "leak-check: $LONG frames leave $long_bytes bytes in $long_count allocations unfreed"
echo "leak-check: reports in build-asan/leak-check-$SHORT.log and build-asan/leak-check-$LONG.log"
# Several times the frames: a leak per frame would show as hundreds more.
if (( long_count > short_count + 50 )); then
  echo "leak-check: FAILED: unfreed memory grows with the frame count" >&2
  exit 1
fi
echo "leak-check: no leak grows with the frame count"
