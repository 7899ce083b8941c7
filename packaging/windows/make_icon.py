#!/usr/bin/env python3
"""Makes the program's .ico from its pixel text: make_icon.py icon.txt out.ico

The text holds comment lines (#), palette lines ("X RRGGBB", "." being transparent), then the
rows of a square image of 32 by 32. The .ico gets that image and a 16 by 16 one averaged from
it, both as 32-bit BMP with alpha. The output depends on the text alone.
"""
import struct
import sys


def read_picture(path):
    palette = {".": (0, 0, 0, 0)}
    rows = []
    with open(path, encoding="ascii") as text:
        for line in text:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split()
            if len(fields) == 2 and len(fields[0]) == 1 and len(fields[1]) == 6:
                value = int(fields[1], 16)
                palette[fields[0]] = (value >> 16, (value >> 8) & 0xFF, value & 0xFF, 255)
            else:
                rows.append([palette[c] for c in line])
    if len(rows) != 32 or any(len(row) != 32 for row in rows):
        sys.exit(f"{path}: the picture must be 32 rows of 32 pixels")
    return rows


def halve(rows):
    """Each 2x2 block becomes one pixel: colours averaged by their alpha, alpha averaged."""
    small = []
    for y in range(0, len(rows), 2):
        line = []
        for x in range(0, len(rows), 2):
            block = [rows[y][x], rows[y][x + 1], rows[y + 1][x], rows[y + 1][x + 1]]
            alpha = sum(p[3] for p in block)
            colour = [sum(p[i] * p[3] for p in block) // alpha if alpha else 0 for i in range(3)]
            line.append((*colour, alpha // 4))
        small.append(line)
    return small


def bmp(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4  # all zero: the alpha channel decides
    return header + pixels + bytes(mask_row * size)


def main():
    big = read_picture(sys.argv[1])
    images = [(32, bmp(big)), (16, bmp(halve(big)))]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[2], "wb") as ico:
        ico.write(out)


main()
