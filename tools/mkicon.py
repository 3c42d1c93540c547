#!/usr/bin/env python3
"""mkicon.py: draws the program icon (resources/tarvex.ico).

The icon is a filing box with a down arrow, in 32x32 and 16x16, 32 bits per
pixel with an AND mask, so that every Windows from 95 on can show it.  It is
kept in the tree; run this again only to change the drawing.
"""
import struct
import sys


def pixel(x, y, n):
    """The colour (B, G, R, A) of the drawing at (x, y) on an n by n grid."""
    s = n / 32.0
    box = 4 * s <= x < 28 * s and 12 * s <= y < 29 * s
    lid = 2 * s <= x < 30 * s and 8 * s <= y < 13 * s
    shaft = 14 * s <= x < 18 * s and 2 * s <= y < 16 * s
    head = abs(x + 0.5 - 16 * s) <= (20 * s - y) and 14 * s <= y < 21 * s
    if head or shaft:
        return (0x20, 0xA0, 0xF0, 0xFF)
    if lid:
        return (0x30, 0x50, 0x90, 0xFF)
    if box:
        return (0x40, 0x70, 0xC0, 0xFF) if (y // max(1, int(4 * s))) % 2 else (0x38, 0x64, 0xB0, 0xFF)
    return (0, 0, 0, 0)


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(bytes(c for x in range(n) for c in pixel(x, y, n)) for y in reversed(range(n)))
    stride = ((n + 31) // 32) * 4
    mask = b""
    for y in reversed(range(n)):
        bits = 0
        for x in range(n):
            if pixel(x, y, n)[3] == 0:
                bits |= 1 << (stride * 8 - 1 - x)
        mask += bits.to_bytes(stride, "big")
    return header + rows + mask


def main(out):
    images = [image(32), image(16)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip((32, 16), images):
        data += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/tarvex.ico")
