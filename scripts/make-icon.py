#!/usr/bin/env python3
"""Draws the kit's icons, each one 32 x 32 image stored as a plain BMP inside the .ico (no PNG
compression, which old shells cannot show):
  make-icon.py patcher patcher/patcher.ico   32 bits per pixel: a gold "V" on a blue disc
  make-icon.py sondrel sondrel/sondrel.ico   24 bits per pixel and a mask: sound waves on a green disc
"""
import struct
import sys

SIZE = 32
CENTRE = (SIZE - 1) / 2


def in_disc(x, y):
    return (x - CENTRE) ** 2 + (y - CENTRE) ** 2 <= (SIZE / 2 - 0.5) ** 2


def patcher_pixel(x, y):
    if not in_disc(x, y):
        return None
    top = 7
    if top <= y <= 25:
        t = (y - top) / (25 - top)
        left = 7 + t * 8
        right = 24 - t * 8
        if abs(x - left) < 2.2 or abs(x - right) < 2.2:
            return (235, 200, 80)  # gold
    return (40, 60, 140)


def sondrel_pixel(x, y):
    if not in_disc(x, y):
        return None
    white = (245, 245, 235)
    # A small speaker on the left, two arcs of sound to its right.
    if 9 <= x <= 12 and 13 <= y <= 18:
        return white
    if 12 <= x <= 16 and abs(y - 15.5) <= (x - 12) * 1.2 + 2.5:
        return white
    distance = ((x - 13) ** 2 + (y - 15.5) ** 2) ** 0.5
    if x > 17 and (abs(distance - 7) < 1.0 or abs(distance - 11) < 1.0) and abs(y - 15.5) < x - 14:
        return white
    return (30, 120, 70)


def icon(pixel, bits):
    rows = []
    mask_rows = []
    # BMP rows go bottom-up, colours in BGR(A) order.
    for y in reversed(range(SIZE)):
        row = b""
        mask = 0
        for x in range(SIZE):
            colour = pixel(x, y)
            if bits == 32:
                r, g, b = colour or (0, 0, 0)
                row += struct.pack("BBBB", b, g, r, 255 if colour else 0)
            else:
                r, g, b = colour or (0, 0, 0)
                row += struct.pack("BBB", b, g, r)
                if colour is None:
                    mask |= 1 << (SIZE - 1 - x)
        rows.append(row)
        # 32 bits per row; with 32-bit colour the alpha channel carries transparency instead.
        mask_rows.append(struct.pack(">I", mask))
    xor = b"".join(rows)
    and_mask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, bits, len(image), 6 + 16)
    return icondir + entry + image


PICTURES = {"patcher": (patcher_pixel, 32), "sondrel": (sondrel_pixel, 24)}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in PICTURES:
        sys.exit(__doc__)
    pixel, bits = PICTURES[sys.argv[1]]
    with open(sys.argv[2], "wb") as out:
        out.write(icon(pixel, bits))
