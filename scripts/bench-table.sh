#!/usr/bin/env bash
# Runs every benchmark program once and prints one table: figure, target,
# result, ratio (above 1.00 misses the target).
#
#   scripts/bench-table.sh                  build, run, print the table
#   scripts/bench-table.sh --compare [FILE] beside a baseline (bench/baseline.json)
#   scripts/bench-table.sh --save FILE      also write the results as a baseline
#   scripts/bench-table.sh --only a,b       only the programs bench_a and bench_b
#   scripts/bench-table.sh --soak [MINUTES] also play the example in a soak
#                                           (scripts/soak.sh, 30 minutes by
#                                           default) and add its summary
#   scripts/bench-table.sh --soak FILE.md   add the summary of a soak table
#                                           that was written before
#
# Short runs with three repetitions (medians), so the table takes a few
# minutes; CPU times where the figure allows, since the machine is shared.
# The programs that need a display run under one Xvfb server. Each program's
# JSON and its log go to build/bench-results/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT="$BUILD_DIR/bench-results"
original_args=("$@")
compare=""
save=""
only=""
soak=""
while [ $# -gt 0 ]; do
    case "$1" in
    --compare)
        compare=bench/baseline.json
        if [ $# -gt 1 ] && [ "${2#--}" = "$2" ]; then compare=$2; shift; fi
        ;;
    --save) save=$2; shift ;;
    --only) only=$2; shift ;;
    --soak)
        soak=30
        if [ $# -gt 1 ] && [ "${2#--}" = "$2" ]; then soak=$2; shift; fi
        ;;
    -h | --help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "bench-table: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done

# The programs that open windows need a display: without one, build, then
# run this script again under one Xvfb server for all of them.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    scripts/build.sh >/dev/null
    export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb BENCH_TABLE_BUILT=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$0" "${original_args[@]}"
fi
[ -n "${BENCH_TABLE_BUILT:-}" ] || scripts/build.sh >/dev/null
mkdir -p "$OUT"

# Programs that run for seconds per iteration repeat once; the others three times.
single="capture music sync_connect tracker track_save showcase_frames"

run_all() {
    for exe in "$BUILD_DIR"/bench/bench_*; do
        [ -x "$exe" ] && [ -f "$exe" ] || continue
        name=${exe##*/bench_}
        if [ -n "$only" ] && ! [[ ",$only," == *",$name,"* ]]; then continue; fi
        reps=3
        extra=()
        [[ " $single " == *" $name "* ]] && reps=1
        # The allocation count walks the stack of every allocation: fewer frames here.
        [ "$name" = showcase_frames ] && extra=(--warmup=60 --frames=100)
        printf 'bench_%s ... ' "$name" >&2
        start=$(date +%s)
        if "$exe" "${extra[@]}" --benchmark_min_time=0.1 --benchmark_repetitions=$reps \
            --benchmark_report_aggregates_only=true \
            --benchmark_out="$OUT/$name.json" --benchmark_out_format=json \
            >"$OUT/$name.log" 2>&1; then
            echo "$(($(date +%s) - start)) s" >&2
        else
            echo "failed (see $OUT/$name.log)" >&2
        fi
    done
}

run_all

soak_table=""
if [[ "$soak" == *.md ]]; then
    soak_table=$soak
elif [ -n "$soak" ]; then
    # The soak fails by its own rules with exit code 1; its summary still
    # joins the table, which shows the miss.
    soak_table="$OUT/soak-lumenfall.md"
    printf 'soak, %s min ... ' "$soak" >&2
    scripts/soak.sh examples/lumenfall "$soak" "$soak_table" >"$OUT/soak.log" 2>&1 \
        && echo "held up" >&2 || echo "see $OUT/soak.log" >&2
fi

args=("$OUT")
[ -n "$soak_table" ] && args+=(--soak "$soak_table")
[ -n "$compare" ] && args+=(--compare "$compare")
[ -n "$save" ] && args+=(--save "$save")
python3 bench/table.py "${args[@]}"
