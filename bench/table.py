#!/usr/bin/env python3
"""One table of every benchmark figure: figure, target, result, ratio.

Reads the JSON files that Google Benchmark wrote (one per program, in a
folder), picks the figures listed below and prints them, with a soak's
summary (RSS after the warm-up, its peak, the worst drift) when given one. With --save the
results go to a baseline file; with --compare a baseline's results are
shown beside them with the change.

The ratio is result / target for "at most" figures and target / result for
"at least" ones, so a ratio above 1.00 always misses the target.
"""
import argparse
import json
import os
import re
import sys

# Time units of Google Benchmark's JSON, in nanoseconds.
UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

# (figure, program, benchmark name, field, unit, target, at_most)
# field: "cpu" (median CPU time), "real" (median wall time, which is the
# manual time of benchmarks that measure their own), either divided by a
# count ("cpu/1000": per item), or a counter's name.
# unit: the unit the figure is shown in; counters are shown as they are.
# target: None where the figure is reported without one.
FIGURES = [
    ("host frame cost per item (1,000 nested effects)", "host_frame", "BM_HostFrame", "cpu/1000", "ns", 100, True),
    ("showcase: our allocations a frame", "showcase_frames", "BM_ShowcaseFrames/iterations:1", "ours", "", 0, True),
    ("showcase: Qt's, called from our frame", "showcase_frames", "BM_ShowcaseFrames/iterations:1", "qt_called", "", None, True),
    ("showcase: QML bindings our signals run", "showcase_frames", "BM_ShowcaseFrames/iterations:1", "qml_signals", "", None, True),
    ("showcase: GL driver's (llvmpipe)", "showcase_frames", "BM_ShowcaseFrames/iterations:1", "gl_driver", "", None, True),
    ("skene traversal alone, 1,000 effects", "host_frame", "BM_SkeneTraversal", "cpu", "us", None, True),
    ("paused frame, 64 skenes loaded, none watched", "skene_reload", "BM_PausedFrame/64/0", "cpu", "us", None, True),
    ("paused frame, 64 skenes watched", "skene_reload", "BM_PausedFrame/64/1", "cpu", "us", None, True),
    ("look at 64 skenes' QML (once a second, paused)", "skene_reload", "BM_SkeneFilesLook/64", "cpu", "ms", None, True),
    ("saved skene to its reload, 1 of 64", "skene_reload", "BM_SaveToReload/64", "cpu", "ms", None, True),
    ("get_value, 1,000 keys, random rows", "sync_track", "BM_GetValue/type:-1", "cpu", "ns", 15, True),
    ("get_value, 1,000 keys, rows advancing", "sync_track", "BM_GetValueAdvancing", "cpu", "ns", 5, True),
    ("get_value advancing / inline shape, one run", "sync_track", "BM_GetValueAdvancingAgainstInline", "ratio", "", 2, True),
    ("sync slot, cached track", "rocket_sync", "BM_SyncCachedTrack", "cpu", "ns", 60, True),
    ("500 sync bindings re-evaluated", "rocket_sync", "BM_FiveHundredBindingsPerFrame", "cpu", "us", 250, True),
    ("controller frame, 500 properties following nothing (us)", "rocket_sync", "BM_TrackSourcesAgainstBindings/iterations:3", "nothing_us", "", None, True),
    ("controller frame, 500 track bindings (us)", "rocket_sync", "BM_TrackSourcesAgainstBindings/iterations:3", "bindings_us", "", None, True),
    ("controller frame, 500 Track sources (us)", "rocket_sync", "BM_TrackSourcesAgainstBindings/iterations:3", "sources_us", "", None, True),
    ("500 Track sources' cost / 500 bindings', one run", "rocket_sync", "BM_TrackSourcesAgainstBindings/iterations:3", "ratio", "", 0.25, True),
    ("sync slot, track without data", "rocket_sync", "BM_SyncTrackWithoutData", "cpu", "ns", None, True),
    ("trigger's first call at row 50,000", "rocket_sync", "BM_SyncTriggerFirstCall", "cpu", "us", None, True),
    ("100k-key burst in one update", "sync_update", "BM_SetKeyBurst/logged:0/iterations:10/manual_time", "real", "ms", 50, True),
    ("100k-key burst, debug log as shipped", "sync_update", "BM_SetKeyBurst/logged:1/iterations:10/manual_time", "real", "ms", 50, True),
    ("save of 500 tracks", "track_save", "BM_SaveFiveHundredTracks/untilInPlace:0/iterations:10", "real", "ms", 50, True),
    ("connect to a silent editor", "sync_connect", "BM_ConnectToSilentEditor/iterations:3", "real", "ms", 250, True),
    ("music load, 5-minute MP3", "music", "BM_LoadFiveMinuteMp3/iterations:20/manual_time", "real", "ms", 50, True),
    ("spectrum, 1024 values", "music", "BM_GetSpectrum", "cpu", "us", 100, True),
    ("steady playback, % of a core", "music", "BM_SteadyPlayback/iterations:1", "core_percent", "%", 2, True),
    ("FFT item step, no upload", "fft_items", "BM_FFTStepWithoutUpload", "cpu", "us", 50, True),
    ("FFT item step, both uploads", "fft_items", "BM_FFTStepWithBothUploads", "cpu", "us", None, True),
    ("mesh import+build+upload, 100k triangles", "mesh_import", "BM_ImportBuildUpload", "cpu", "ms", 100, True),
    ("mesh Assimp import, 100k triangles", "mesh_import", "BM_AssimpImport", "cpu", "ms", None, True),
    ("mesh build+upload, 100k triangles", "mesh_import", "BM_BuildAndUpload/0", "cpu", "ms", 50, True),
    ("mesh load, cold cache, 100k triangles", "mesh_import", "BM_LoadColdAndWarm/0/iterations:5", "cold_ms", "ms", None, True),
    ("mesh load, warm cache, 100k triangles", "mesh_import", "BM_LoadColdAndWarm/0/iterations:5", "warm_ms", "ms", None, True),
    ("mesh load warm / cold, one run", "mesh_import", "BM_LoadColdAndWarm/0/iterations:5", "warm_percent", "%", 10, True),
    ("mesh load warm / cold, 500k triangles", "mesh_import", "BM_LoadColdAndWarm/1/iterations:2", "warm_percent", "%", 20, True),
    ("longest frame while 500k triangles import", "mesh_import", "BM_FramesWhileImporting/iterations:1", "longest_frame_ms", "ms", 16.7, True),
    ("frame that takes 500k triangles over", "mesh_import", "BM_FramesWhileImporting/iterations:1", "handover_frame_ms", "ms", None, True),
    ("500k-triangle import on the worker", "mesh_import", "BM_FramesWhileImporting/iterations:1", "import_ms", "ms", None, True),
    ("render-target pass, host side", "render_targets", "BM_RenderTargetChain/manual_time", "us_per_pass", "us", 20, True),
    ("particle frame 512x512, host side", "particles", "BM_ParticleFrame/512/manual_time", "host_us", "us", None, True),
    ("particle frame 1x1, host side", "particles", "BM_ParticleFrame/1/manual_time", "host_us", "us", 50, True),
    ("uniforms of one draw", "draw_uniforms", "BM_UniformsOfOneDraw", "cpu", "us", None, True),
    ("SMAA passes 1280x720 (llvmpipe)", "smaa", "BM_SmaaPasses1280x720", "real", "ms", None, True),
    ("capture 1280x720, frames a second", "capture", "BM_CaptureExample/iterations:1/manual_time", "fps", "fps", None, False),
    ("capture, our share of a frame", "capture", "BM_CaptureExample/iterations:1/manual_time", "our_share_%", "%", 20, True),
    ("start-up to the first frame (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_ms", "", None, True),
    ("  Qt and views (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_qt_views_ms", "", None, True),
    ("  skene QML (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_skene_qml_ms", "", None, True),
    ("  shader compiles (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_shaders_ms", "", None, True),
    ("  meshes (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_meshes_ms", "", None, True),
    ("  the rest of the first frame (ms)", "capture", "BM_CaptureExample/iterations:1/manual_time", "startup_first_frame_ms", "", None, True),
    ("editor: open 100k-key project", "tracker", "BM_OpenProject/iterations:5", "real", "ms", 300, True),
    ("editor: full resend, 100k keys", "tracker", "BM_FullResend/iterations:10/manual_time", "real", "ms", 100, True),
    ("editor: repaint while scrolling", "tracker", "BM_PaintWhileScrolling/music:0", "real", "ms", 8, True),
    ("editor: repaint while scrolling, with music", "tracker", "BM_PaintWhileScrolling/music:1", "real", "ms", 8, True),
    ("editor: 10,000 tracks with files", "tracker", "BM_TracksWithFiles/iterations:3/manual_time", "real", "ms", 500, True),
    ("edit landing at a skene's far end", "value_editing", "BM_LandEditAtTheLastItem", "cpu", "us", None, True),
    ("skene tree built after a load", "value_editing", "BM_BuildSkeneTree", "cpu", "ms", None, True),
    ("loose shader file load", "asset_file", "BM_LooseFile", "cpu", "us", None, True),
]


def load_runs(folder):
    """{program: {benchmark name: run}}, the median of repeated runs."""
    runs = {}
    for file in sorted(os.listdir(folder)):
        if not file.endswith(".json"):
            continue
        program = file[: -len(".json")]
        try:
            with open(os.path.join(folder, file)) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        by_name = {}
        for b in data.get("benchmarks", []):
            name = b.get("run_name", b.get("name"))
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") == "median":
                    by_name[name] = b
            elif name not in by_name:
                by_name[name] = b
        runs[program] = by_name
    return runs


def figure_value(runs, program, name, field, unit):
    run = runs.get(program, {}).get(name)
    if run is None or run.get("error_occurred"):
        return None
    kind, _, per = field.partition("/")
    if kind in ("cpu", "real"):
        ns = run["cpu_time" if kind == "cpu" else "real_time"] * UNIT_NS[run.get("time_unit", "ns")]
        return ns / UNIT_NS[unit] / (float(per) if per else 1.0)
    value = run.get(field)
    return None if value is None else float(value)


def soak_figures(path):
    """[(figure, value, unit, target, at_most)] from a soak table's summary."""
    with open(path) as f:
        text = f.read()
    length = re.search(r"^# Soak: (.+), (\d+) min$", text, re.M)
    tag = "soak (%s, %s min)" % length.groups() if length else "soak"
    summary = re.search(
        r"RSS after the warm-up \((\d+) s\): ([\d.]+) MB, its peak then [\d.]+ MB; peak after it: ([\d.]+) MB "
        r"\(([-+\d.]+) %.*?"
        r"Worst drift over a second: ([-+\d.]+) ms", text, re.S)
    if not summary:
        return [(tag + ": no summary line in " + path, None, "", None, True)]
    warm, rss, peak, growth, drift = summary.groups()
    return [
        (tag + ": RSS after the warm-up (%s s)" % warm, float(rss), "MB", None, True),
        (tag + ": peak RSS after it", float(peak), "MB", None, True),
        (tag + ": growth after the warm-up", max(float(growth), 0.0), "%", 5, True),
        (tag + ": worst drift over a second", abs(float(drift)), "ms", 16.7, True),
    ]


def fmt(v):
    if v is None:
        return "-"
    if v == float("inf"):
        return "inf"
    if v >= 100:
        return "%.0f" % v
    if v >= 10:
        return "%.1f" % v
    return "%.2f" % v


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("results", help="folder of Google Benchmark JSON files, one per program")
    ap.add_argument("--save", help="write the results as a baseline to this file")
    ap.add_argument("--compare", help="a baseline file to show beside the results")
    ap.add_argument("--soak", help="a soak table (scripts/soak.sh) whose summary joins the table")
    args = ap.parse_args()

    runs = load_runs(args.results)
    base = None
    if args.compare:
        with open(args.compare) as f:
            base = json.load(f)["figures"]

    measured = [(figure, figure_value(runs, program, name, field, unit), unit, target, at_most)
                for figure, program, name, field, unit, target, at_most in FIGURES]
    if args.soak:
        measured += soak_figures(args.soak)
    rows = []
    results = {}
    for figure, v, unit, target, at_most in measured:
        results[figure] = v
        ratio = None
        if v is not None and target == 0:
            ratio = 0.0 if v == 0 else float("inf")
        elif v is not None and v > 0 and target is not None:
            ratio = v / target if at_most else target / v
        goal = "report" if target is None else ("<= " if at_most else ">= ") + fmt(target) + " " + unit
        row = [figure, goal, fmt(v) + " " + unit if v is not None else "-",
               fmt(ratio) + (" MISS" if ratio is not None and ratio > 1.0 else "")]
        if base is not None:
            b = base.get(figure)
            row.append(fmt(b) + " " + unit if b is not None else "-")
            row.append("%+.0f %%" % (100.0 * (v - b) / b) if v is not None and b else "-")
        rows.append(row)

    head = ["figure", "target", "result", "ratio"]
    if base is not None:
        head += ["baseline", "change"]
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    line = lambda r: "| " + " | ".join(c.ljust(widths[i]) for i, c in enumerate(r)) + " |"
    print(line(head))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))

    if args.save:
        with open(args.save, "w") as f:
            json.dump({"figures": results}, f, indent=1, sort_keys=True)
            f.write("\n")
    missing = [f for f, v in results.items() if v is None]
    if missing:
        print("\nno result for: " + "; ".join(missing), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
