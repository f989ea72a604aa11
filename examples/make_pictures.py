#!/usr/bin/env python3
"""Writes the example pictures of the demo scene into examples/pictures/ (24-bit BMP):

  logo.bmp          a logo on a magenta background; the background is the bottom-left colour,
                    so the keyed copy leaves it out and the video shows through
  split4.bmp        one picture of four equal parts side by side (numbered 1 to 4), for
                    SetVxComponent_PicSplitFile / PicSplitShow and as a split-file movie
  movie1.bmp ..     three numbered frames of a small animation, for SetVxComponent_PicMovie
  movie3.bmp        with the pattern "movie%d.bmp"

Colours are those of the frame palette, so that they reach the card unchanged. Run it from
anywhere: python3 examples/make_pictures.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "pictures")

MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
RED = (255, 0, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
CYAN = (0, 255, 255)
NAVY = (0, 0, 128)


def write_bmp(name, width, height, paint):
    """paint(x, y) -> (r, g, b), y counted from the top."""
    row_bytes = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):  # BMP rows run bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = paint(x, y)
            row += bytes((b, g, r))
        row += bytes(row_bytes - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(header + info + pixels)


# Digits as 3 x 5 cells.
DIGITS = {
    "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "111", "001", "111"],
    "4": ["101", "101", "111", "001", "001"],
}


def digit_at(d, x, y, left, top, cell):
    gx, gy = (x - left) // cell, (y - top) // cell
    if x < left or y < top or gx >= 3 or gy >= 5:
        return False
    return DIGITS[d][gy][gx] == "1"


def logo(x, y):
    # A ring and a bar on magenta: the ring and bar show, the magenta is keyed out.
    cx, cy = 24, 24
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if 14 ** 2 <= d2 <= 20 ** 2:
        return RED
    if 48 <= x < 92 and 18 <= y < 30:
        return YELLOW if (x // 4) % 2 == 0 else WHITE
    return MAGENTA


def split4(x, y):
    part, px = divmod(x, 48)
    background = (BLUE, RED, NAVY, BLACK)[part]
    if px == 0 or px == 47 or y == 0 or y == 31:
        return WHITE
    return YELLOW if digit_at(str(part + 1), px, y, 17, 4, 5) else background


def movie(frame):
    def paint(x, y):
        # A square that moves right across a cyan strip, frame by frame.
        left = 4 + (frame - 1) * 20
        if left <= x < left + 16 and 4 <= y < 20:
            return RED
        if y == 23:
            return BLACK
        return CYAN if y < 23 else MAGENTA  # the magenta bottom row keys out
    return paint


def main():
    os.makedirs(OUT, exist_ok=True)
    write_bmp("logo.bmp", 96, 48, logo)
    write_bmp("split4.bmp", 4 * 48, 32, split4)
    for frame in (1, 2, 3):
        write_bmp("movie%d.bmp" % frame, 64, 25, movie(frame))


if __name__ == "__main__":
    main()
