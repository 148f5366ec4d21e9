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

# Own instructions of each function. The hook's callers (the event loop,
# main) are listed with the whole count, which they only pass on: left out.
callgrind_annotate --auto=no --threshold=100 --inclusive=no "$dump" >"$out/functions.txt"
total=$(awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }' "$out/functions.txt")
echo "instructions a frame in the window hook: $((total / frames))"
ours='/(app|host|items|gpu|sync|time|state|platform|editor)/[A-Za-z_]+\.(cpp|h):'
sed -n '/file:function/,$p' "$out/functions.txt" | grep -E '^ *[0-9,]+ ' |
    awk -v f="$frames" -v t="$total" -v ours="$ours" '{
        n = $1; gsub(",", "", n); if (n + 0 >= t + 0) next
        if ($0 ~ /swrast_dri|libLLVM|gallium|libglapi|libGLX|libGLdispatch|libGL\.so|\[\?\?\?\]/) d += n
        else if ($0 ~ ours) o += n
        else if ($0 ~ /libQt5/) q += n
        else r += n
    } END { printf "of it: GL driver (and the code it generated) %.0f, ours %.0f, Qt %.0f, C and C++ libraries %.0f\n", d / f, o / f, q / f, r / f }'
echo
echo "our functions, own instructions a frame:"
sed -n '/file:function/,$p' "$out/functions.txt" | grep -E "$ours" |
    awk -v t="$total" '{ n = $1; gsub(",", "", n); if (n + 0 < t + 0) print }' | head -n 10 |
    awk -v f="$frames" '{ n = $1; gsub(",", "", n); $1 = ""; $2 = ""; $3 = ""; sub(/^ *[^ ]*build\/\.\.\//, ""); sub(/^ */, ""); sub(/ \[.*$/, "")
        printf "%12d  %s\n", n / f, $0 }'
