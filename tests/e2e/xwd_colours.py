#!/usr/bin/env python3
"""Prints how many distinct colours an XWD screenshot (ZPixmap, 24/32 bpp) holds."""
import struct
import sys

def main(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, _version, pixmap_format, depth = header[0:4]
    width, height = header[4], header[5]
    bits_per_pixel, bytes_per_line = header[11], header[12]
    ncolors = header[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise SystemExit(f"unsupported XWD: format {pixmap_format}, {bits_per_pixel} bpp")
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    colours = set()
    for y in range(0, height, 2):
        row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        for x in range(0, len(row) - step + 1, step * 2):
            colours.add(row[x:x + 3])
    print(len(colours))

if __name__ == "__main__":
    main(sys.argv[1])
