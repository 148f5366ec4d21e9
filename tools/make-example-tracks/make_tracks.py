#!/usr/bin/env python3
"""Writes the example demo's track files, so that it plays its synced
animation without a sync editor.

A track file is little-endian: a signed 32-bit key count, then per key the
row (int32), the value (float32) and the key type (int8: 0 step, 1 linear,
2 smooth, 3 ramp, 4 spline). Rows run at 88 bpm with 8 rows a beat.

Usage: make_tracks.py <demo folder>   (writes <demo folder>/sync/*.track)
"""
import os
import struct
import sys

STEP, LINEAR, SMOOTH, RAMP, SPLINE = range(5)

# track name -> [(row, value, type)]; the prism skene's crystal and sky, the
# updraft skene's ember bursts and lift, the zenith skene's glow.
TRACKS = {
    # A flash of the rim and the sky on every second beat, from bar 2 on.
    "prism.glow": [(row + half, 0.0 if half else 1.0, STEP if half else LINEAR)
                   for row in range(32, 745, 16) for half in (0, 8) if row + half <= 744],
    "prism.height": [(0, -0.35, SMOOTH), (64, 0.15, SMOOTH), (128, -0.1, SMOOTH), (192, 0.2, SMOOTH),
                     (256, 0.0, SMOOTH), (384, 0.25, SMOOTH), (512, -0.15, SMOOTH), (640, 0.0, STEP)],
    # The camera shakes hard on the downbeat of bars 5 and 9 and settles
    # over the bar; a light tremble from bar 11 to the end.
    "prism.shake": [(0, 0.0, STEP), (128, 1.0, LINEAR), (160, 0.0, STEP), (256, 1.0, LINEAR), (288, 0.0, STEP),
                    (320, 0.25, STEP)],
    "prism.size": [(0, -0.7, SMOOTH), (48, 0.0, STEP)],
    # A quarter turn every bar, eased.
    "prism.spin": [(row, row / 32 * 90.0, SMOOTH) for row in range(0, 737, 32)],
    "prism.tilt": [(0, 0.0, SMOOTH), (128, 14.0, SMOOTH), (256, -10.0, SMOOTH), (384, 8.0, SMOOTH),
                   (512, 0.0, STEP)],
    # Every ember sets off again from the crystal's base at each key: every
    # four bars from bar 4 (the values do not matter, only the rows).
    "updraft.burst": [(row, float(n % 2), STEP) for n, row in enumerate(range(128, 745, 128))],
    # The embers rise harder through the middle of the demo.
    "updraft.lift": [(0, 0.0, SMOOTH), (256, 1.2, SMOOTH), (512, 0.4, SMOOTH), (640, 0.0, STEP)],
    # The zenith skene's glow swells over each four bars and falls back.
    "zenith.bloom": [(row + part, level, SMOOTH) for row in range(0, 737, 128)
                     for part, level in ((0, 0.0), (96, 0.6)) if row + part <= 744],
}


def write_track(folder, name, keys):
    data = struct.pack("<i", len(keys))
    for row, value, kind in keys:
        data += struct.pack("<ifb", row, value, kind)
    path = os.path.join(folder, "sync", "sync_%s.track" % name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for name, keys in sorted(TRACKS.items()):
        print(write_track(sys.argv[1], name, keys))


if __name__ == "__main__":
    main()
