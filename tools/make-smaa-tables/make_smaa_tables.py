#!/usr/bin/env python3
"""Writes the two lookup tables that the stand-in anti-aliasing header
(examples/lumenfall/fx/SMAA.h) reads, at the sizes the SMAA item loads:

  images/smaa_area.raw    160 x 560 texel pairs (R, G), one byte each
  images/smaa_search.raw   66 x  33 single bytes

Both are headerless and row by row, the first row first, as the item uploads
them. Usage: make_smaa_tables.py <demo folder>  (writes <demo>/images/).

Area table: the texel at column a, row b holds the blend weight of a pixel
that lies a pixels from one end of a run of edge pixels and b pixels from
the other. A distance of FAR or more means that end has no step: a straight
edge, which is left alone. Towards a step the weight rises to one half. When
only one end has a step, the weight fades out within REACH pixels of it. Red
and green hold the same weight.

Search table: column = an edge value times 64, row = a crossing edge value
times 32 (both rounded). The value is 255 where a run of edges goes on: the
edge is there and nothing crosses it.
"""
import os
import sys

AREA_WIDTH, AREA_HEIGHT = 160, 560
SEARCH_WIDTH, SEARCH_HEIGHT = 66, 33
FAR = 32
REACH = 8


def area_weight(a, b):
    stepped_a, stepped_b = a < FAR, b < FAR
    if not stepped_a and not stepped_b:
        return 0.0
    if stepped_a and stepped_b:
        distance, length = min(a, b), a + b + 1
    else:
        distance = a if stepped_a else b
        length = distance + REACH + 1
    return 0.5 * max(0.0, 1.0 - 2.0 * distance / length)


def area_table():
    out = bytearray()
    for b in range(AREA_HEIGHT):
        for a in range(AREA_WIDTH):
            w = round(area_weight(a, b) * 255)
            out += bytes((w, w))
    return bytes(out)


def search_table():
    out = bytearray()
    for crossing in range(SEARCH_HEIGHT):
        for edge in range(SEARCH_WIDTH):
            out.append(255 if edge > 32 and crossing < 16 else 0)
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = os.path.join(sys.argv[1], "images")
    os.makedirs(images, exist_ok=True)
    for name, data in (("smaa_area.raw", area_table()), ("smaa_search.raw", search_table())):
        with open(os.path.join(images, name), "wb") as f:
            f.write(data)
        print(os.path.join(images, name), len(data), "bytes")


if __name__ == "__main__":
    main()
