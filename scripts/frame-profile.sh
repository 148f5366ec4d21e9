#!/usr/bin/env bash
# Instructions of the showcase's frame on the host: callgrind counts the Demo
# item's window hook (the whole frame: the controller's update, the QML
# bindings it runs, the skene walk, the GL calls up to the driver's own
# threads) over steady frames, and prints the count a frame and the functions
# of our own code that cost most (their own instructions, then with what they
# call). Instruction counts stay the same from run to run where timings on
# a shared machine do not.
#
#   scripts/frame-profile.sh [frames]     (default 3, after 4 of warm-up)
#
# Slow: under callgrind the software rasteriser's vertex work for the
# particle grid runs at a frame every half minute or so.
#
# Needs valgrind and the benchmark build (scripts/build.sh); runs under Xvfb
# when there is no display. The raw profile stays in build/frame-profile/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
frames=${1:-3}
out="$BUILD_DIR/frame-profile"
mkdir -p "$out"
rm -f "$out"/callgrind.*

run=(valgrind --tool=callgrind --collect-atstart=no "--toggle-collect=DemoQML::doBeforeRender()"
    "--callgrind-out-file=$out/callgrind.%p" "$BUILD_DIR/bench/bench_showcase_frames" --warmup=4
    "--frames=$frames")
if [ -z "${DISPLAY:-}" ]; then
    LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "${run[@]}" \
        >"$out/run.log" 2>&1
else
    "${run[@]}" >"$out/run.log" 2>&1
fi
# The dump taken right after the counted frames.
dump=$(ls "$out"/callgrind.*.1 2>/dev/null | head -n1)
[ -n "$dump" ] || { echo "frame-profile: no profile (see $out/run.log)" >&2; exit 1; }

total=$(callgrind_annotate "$dump" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }')
echo "instructions a frame in the window hook: $((total / frames))"
ours='/(app|host|items|gpu|sync|time|state|platform|editor)/[A-Za-z_]+\.(cpp|h):'
echo
echo "our functions, own instructions a frame:"
callgrind_annotate "$dump" | grep -E "$ours" | head -n 10 |
    awk -v f="$frames" '{ n = $1; gsub(",", "", n); $1 = ""; $2 = ""; printf "%12d %s\n", n / f, $0 }'
echo
echo "our functions, with what they call, a frame:"
callgrind_annotate --inclusive=yes "$dump" | grep -E "$ours" | grep -v "^ *[0-9,]* *([0-9.]*%) *[a-z/]*/\.\./" |
    head -n 10 | awk -v f="$frames" '{ n = $1; gsub(",", "", n); $1 = ""; $2 = ""; printf "%12d %s\n", n / f, $0 }'
