#!/usr/bin/env python3
"""Writes setup.ico: a monitor showing a starry screen, 16x16 and 32x32,
16 colours each (the standard VGA palette). Run it again only to change the
picture; the .ico it writes is what the build uses."""
import os
import struct

# The 16 colours of the standard VGA palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, DARK, YELLOW, CYAN, WHITE, MAGENTA = 0, 4, 7, 8, 11, 14, 15, 13


def picture(n):
    """Rows of colour indices, None for transparent, top row first."""
    s = n / 16.0
    px = [[None] * n for _ in range(n)]

    def fill(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c

    fill(0, 1, 16, 12, DARK)       # case
    fill(0, 1, 15, 11, GREY)
    fill(1, 2, 15, 11, BLACK)      # bezel edge
    fill(1, 2, 14, 10, NAVY)       # screen
    fill(6, 12, 10, 13, DARK)      # neck
    fill(3, 13, 13, 15, GREY)      # foot
    fill(3, 14, 13, 15, DARK)
    # Stars on the screen, in 16x16 coordinates.
    for (x, y, c) in [(3, 3, WHITE), (9, 4, YELLOW), (12, 3, CYAN), (5, 6, CYAN),
                      (11, 7, WHITE), (2, 8, YELLOW), (7, 8, MAGENTA), (8, 3, WHITE)]:
        fill(x, y, x + 1, y + 1, c)
    return px


def image(n):
    px = picture(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(px):  # bottom-up
        nibbles = [0 if c is None else c for c in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, n, 2))
        xor_rows.append(data + b'\0' * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * (-len(mask) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main():
    images = [(16, image(16)), (32, image(32))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'setup.ico')
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
