#!/usr/bin/env python3
"""Writes the track files of the example demo and of the template that
tarvonic --new-demo copies, so that each plays its synced animation without
a sync editor.

A track file is little-endian: a signed 32-bit key count, then per key the
row (int32), the value (float32) and the key type (int8: 0 step, 1 linear,
2 smooth, 3 ramp, 4 spline). Rows run at 88 bpm with 8 rows a beat.

Usage: make_tracks.py <demo folder>   (writes <demo folder>/sync/*.track,
after removing the track files there; the folder's name, lumenfall or
template, chooses the table)
"""
import os
import struct
import sys

STEP, LINEAR, SMOOTH, RAMP, SPLINE = range(5)

# Rows of a beat and of a bar (4 beats); the music lasts 12 bars, 384 rows.
BEAT = 8
BAR = 4 * BEAT
END = 12 * BAR


def flashes(first, last, every):
    """A flash on each `every` rows from row first to row last: 1 falling
    linearly to 0 over a beat."""
    return [key for row in range(first, last + 1, every)
            for key in ((row, 1.0, LINEAR), (row + BEAT, 0.0, STEP))]


# track name -> [(row, value, type)], key by key in row order. A key's type
# sets how the value goes on to the next key.
TRACKS = {
    # The title fades in over the first bar, sinks away in bar 4, and comes
    # back for the last two bars.
    "intro.title": [(8, 0.0, LINEAR), (40, 1.0, STEP), (96, 1.0, LINEAR), (128, 0.0, STEP),
                    (10 * BAR, 0.0, LINEAR), (11 * BAR, 1.0, STEP)],
    # The sky and the crystal's rim flash on every second beat from bar 3 on.
    "intro.glow": flashes(2 * BAR, END - BEAT, 2 * BEAT),
    "prism.glow": flashes(2 * BAR, END - BEAT, 2 * BEAT),
    # The camera's angle round the crystal (degrees) and its distance beyond
    # 5 units.
    "prism.orbit": [(0, -30.0, SMOOTH), (4 * BAR, 40.0, SMOOTH), (8 * BAR, 160.0, SMOOTH), (END, 220.0, STEP)],
    "prism.dolly": [(0, 1.5, SMOOTH), (3 * BAR, 0.0, SMOOTH), (7 * BAR, -0.8, SMOOTH), (10 * BAR, 0.3, SMOOTH),
                    (END, 1.0, STEP)],
    "prism.height": [(0, -0.35, SMOOTH), (2 * BAR, 0.15, SMOOTH), (4 * BAR, -0.1, SMOOTH), (6 * BAR, 0.2, SMOOTH),
                     (8 * BAR, 0.0, SMOOTH), (10 * BAR, 0.25, SMOOTH), (END, 0.0, STEP)],
    # The camera shakes hard on the downbeats of bars 5 and 9 and settles
    # within the bar; a light tremble over the last two bars.
    "prism.shake": [(0, 0.0, STEP), (4 * BAR, 1.0, LINEAR), (5 * BAR, 0.0, STEP), (8 * BAR, 1.0, LINEAR),
                    (9 * BAR, 0.0, STEP), (10 * BAR, 0.25, STEP), (END, 0.0, STEP)],
    # The crystal grows to its size over the first bar and a half.
    "prism.size": [(0, -0.7, SMOOTH), (48, 0.0, STEP)],
    # A quarter turn every bar, eased.
    "prism.spin": [(row, row / BAR * 90.0, SMOOTH) for row in range(0, END + 1, BAR)],
    "prism.tilt": [(0, 0.0, SMOOTH), (2 * BAR, 14.0, SMOOTH), (5 * BAR, -10.0, SMOOTH), (8 * BAR, 8.0, SMOOTH),
                   (11 * BAR, 0.0, STEP)],
    # The small crystals orbit from bar 5 to bar 8 and over the last two
    # bars (on above 0.5).
    "prism.satellites": [(0, 0.0, STEP), (4 * BAR, 1.0, STEP), (8 * BAR, 0.0, STEP), (10 * BAR, 1.0, STEP)],
    # Every ember sets off again from the crystal's base at each key, with
    # the shakes and at the start of bar 11 (only the rows matter).
    "updraft.burst": [(4 * BAR, 1.0, STEP), (8 * BAR, 0.0, STEP), (10 * BAR, 1.0, STEP)],
    # The embers rise harder through the middle of the demo.
    "updraft.lift": [(0, 0.0, SMOOTH), (4 * BAR, 1.2, SMOOTH), (8 * BAR, 0.4, SMOOTH), (10 * BAR, 1.0, SMOOTH),
                     (END, 0.0, STEP)],
    # The glow swells over each four bars and falls back.
    "zenith.bloom": [(row + part, level, SMOOTH) for row in range(0, END, 4 * BAR)
                     for part, level in ((0, 0.0), (3 * BAR, 0.6))],
    # To black over the last bar.
    "zenith.fade": [(0, 1.0, STEP), (11 * BAR, 1.0, LINEAR), (END, 0.0, STEP)],
    # The hello skene's cube, which no setup activates: two turns.
    "hello.spin": [(0, 0.0, LINEAR), (END, 720.0, STEP)],
}


# The template's one skene: its cube turns twice over the four bars of its
# music.
TEMPLATE_TRACKS = {
    "opening.spin": [(0, 0.0, LINEAR), (4 * BAR, 720.0, STEP)],
}

TABLES = {"lumenfall": TRACKS, "template": TEMPLATE_TRACKS}


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
    table = TABLES.get(os.path.basename(os.path.normpath(sys.argv[1])))
    if table is None:
        sys.exit("make_tracks.py: no track table for %s (one of: %s)" % (sys.argv[1], ", ".join(sorted(TABLES))))
    folder = os.path.join(sys.argv[1], "sync")
    # A track that left the table must not linger as a file.
    if os.path.isdir(folder):
        for old in os.listdir(folder):
            if old.startswith("sync_") and old.endswith(".track"):
                os.remove(os.path.join(folder, old))
    for name, keys in sorted(table.items()):
        print(write_track(sys.argv[1], name, keys))


if __name__ == "__main__":
    main()
