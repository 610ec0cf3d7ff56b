#!/usr/bin/env python3
"""Writes the programs' 32 by 32, 16-colour icons:

- launcher/launch.ico, Pellor's "LaunchIcon": a dark blue tile with a white
  start arrow and a yellow bar beneath it;
- capture/app/varnet.ico, Varnet's "VARNET": a dark blue tile with yellow
  text lines, like its window, crossed by a green trace.

Run it again only to change a picture; the .ico files are kept in the tree.
"""
import struct
import sys

W = H = 32
# The standard 16-colour palette, as red, green, blue.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, WHITE, YELLOW, GREY, GREEN = 0, 4, 15, 11, 8, 10


def pixel(x, y):
    if x in (0, 31) or y in (0, 31):
        return GREY
    if 9 <= x <= 22 and abs(y - 13) <= (22 - x) * 0.6:
        return WHITE
    if 24 <= y <= 26 and 6 <= x <= 25:
        return YELLOW
    return NAVY


def varnet_pixel(x, y):
    if x in (0, 31) or y in (0, 31):
        return GREY
    trace = 12 + 2 * abs((x % 8) - 4)
    if 3 <= x <= 28 and abs(y - trace) <= 1:
        return GREEN
    if y % 4 == 2 and 4 <= y <= 28 and 4 <= x <= 4 + (x * 7 + y * 3) % 24:
        return YELLOW
    return NAVY


def write(path, pixel):
    rows = []
    for y in range(H - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(0, W, 2):
            row.append((pixel(x, y) << 4) | pixel(x + 1, y))
        rows.append(bytes(row))
    xor = b"".join(rows)
    and_mask = bytes(4 * H)  # fully opaque
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 4, 0, len(xor) + len(and_mask),
                         0, 0, 16, 0)
    image = header + palette + xor + and_mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", W, H, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    top = sys.argv[1] if len(sys.argv) > 1 else "."
    write(top + "/launcher/launch.ico", pixel)
    write(top + "/capture/app/varnet.ico", varnet_pixel)
