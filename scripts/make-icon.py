#!/usr/bin/env python3
"""Draws the patcher's icon: one 32 x 32 image at 32 bits per pixel, stored as a plain
BMP inside the .ico (no PNG compression, which old shells cannot show)."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    # A dark blue disc with a light "V" across it; transparent outside the disc.
    cx = cy = (SIZE - 1) / 2
    if (x - cx) ** 2 + (y - cy) ** 2 > (SIZE / 2 - 0.5) ** 2:
        return (0, 0, 0, 0)
    top = 7
    if top <= y <= 25:
        t = (y - top) / (25 - top)
        left = 7 + t * 8
        right = 24 - t * 8
        if abs(x - left) < 2.2 or abs(x - right) < 2.2:
            return (235, 200, 80, 255)  # gold
    return (40, 60, 140, 255)


def main(path):
    rows = []
    # BMP rows go bottom-up, in BGRA order.
    for y in reversed(range(SIZE)):
        row = b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y) for x in range(SIZE)))
        rows.append(row)
    xor = b"".join(rows)
    and_mask = bytes(SIZE * 4)  # 32 bits per row, all opaque: alpha carries transparency
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as out:
        out.write(icondir + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "patcher/patcher.ico")
