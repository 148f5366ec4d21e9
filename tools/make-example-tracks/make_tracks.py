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

# track name -> [(row, value, type)]
TRACKS = {
    # The aurora skene: a shaded sky whose glow and hue follow the music.
    "aurora.glow": [(0, 0.0, SMOOTH), (32, 1.0, SMOOTH), (128, 0.6, SMOOTH),
                    (192, 1.0, SMOOTH), (352, 0.0, STEP)],
    "aurora.hue": [(0, 0.55, LINEAR), (176, 0.85, LINEAR), (352, 0.55, STEP)],
    "aurora.speed": [(0, 0.2, RAMP), (64, 1.0, SMOOTH), (256, 0.4, STEP)],
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
