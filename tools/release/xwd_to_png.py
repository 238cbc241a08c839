#!/usr/bin/env python3
"""Converts an X window dump (xwd: ZPixmap, 24 or 32 bits a pixel, true colour) to PNG and
prints how many distinct colours it holds.

Usage: xwd_to_png.py IN.xwd OUT.png
"""
import struct
import sys

from PIL import Image

LSB_FIRST = 0
ZPIXMAP = 2


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _version, pixmap_format, _depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    colour_entries = fields[19]
    if pixmap_format != ZPIXMAP or bits_per_pixel not in (24, 32):
        sys.exit(f"xwd_to_png: unsupported dump: format {pixmap_format}, {bits_per_pixel} bits a pixel")
    if (red_mask, green_mask, blue_mask) != (0xFF0000, 0x00FF00, 0x0000FF):
        sys.exit(f"xwd_to_png: unsupported colour masks {red_mask:x} {green_mask:x} {blue_mask:x}")
    # A pixel is a number 0xRRGGBB; in the order the server wrote it, its bytes run from blue
    # up (least significant first) or from the top byte down.
    step = bits_per_pixel // 8
    if byte_order == LSB_FIRST:
        raw_mode = "BGRX" if step == 4 else "BGR"
    else:
        raw_mode = "XRGB" if step == 4 else "RGB"
    pixels = data[header_size + colour_entries * 12:]
    return Image.frombuffer("RGB", (width, height), pixels, "raw", raw_mode, bytes_per_line, 1)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    picture = read_xwd(sys.argv[1])
    picture.save(sys.argv[2])
    width, height = picture.size
    print(len(picture.getcolors(maxcolors=width * height)))


if __name__ == "__main__":
    main()
