#!/usr/bin/env python3
"""Draws the program's pictures: the window background, the close and
minimise buttons, the hand cursor and the program icon.

Run from the repository root:

    python3 tools/make_resources.py

The output files in resources/ are committed, so the Windows build needs no
Python. Only the standard library is used and nothing depends on the clock or
on random numbers, so every run writes exactly the same bytes.
"""

import math
import os
import struct

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
LIGHT_BLUE = (149, 188, 223)  # &HDFBC95, the window's background colour

# Pictures are lists of rows, top row first, each row a list of (r, g, b)
# or None for a transparent pixel.


def canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def outline_box(picture, colour):
    """One-pixel frame along the picture's edge."""
    height, width = len(picture), len(picture[0])
    for x in range(width):
        picture[0][x] = colour
        picture[height - 1][x] = colour
    for y in range(height):
        picture[y][0] = colour
        picture[y][width - 1] = colour


# --- File formats -----------------------------------------------------------
# Windows stores rows bottom-up, colours as blue, green, red, and pads each
# row to a multiple of four bytes.


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def rgb24_rows(picture, transparent=BLACK):
    out = b""
    for row in reversed(picture):
        line = b""
        for pixel in row:
            r, g, b = pixel if pixel is not None else transparent
            line += bytes((b, g, r))
        out += pad4(line)
    return out


def bit_rows(rows):
    """rows: top-down lists of 0/1; returns bottom-up packed 1-bit rows."""
    out = b""
    for row in reversed(rows):
        line = bytearray((len(row) + 7) // 8)
        for x, bit in enumerate(row):
            if bit:
                line[x // 8] |= 0x80 >> (x % 8)
        out += pad4(bytes(line))
    return out


def info_header(width, height, bits, image_size, colours_used=0):
    # BITMAPINFOHEADER; 2835 pixels per metre is 72 dpi.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0,
                       image_size, 2835, 2835, colours_used, 0)


def bmp24(picture):
    height, width = len(picture), len(picture[0])
    pixels = rgb24_rows(picture)
    offset = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0,
                              offset)
    return file_header + info_header(width, height, 24, len(pixels)) + pixels


def bmp_rle8(picture):
    """The same picture as an 8-bit run-length encoded bitmap (BI_RLE8):
    the window picture has three colours in long runs, so the program carries
    it in about 4 KB instead of 94 KB."""
    height, width = len(picture), len(picture[0])
    palette = sorted({p for row in picture for p in row})
    index = {colour: i for i, colour in enumerate(palette)}
    data = bytearray()
    for row in reversed(picture):  # bottom-up
        x = 0
        while x < width:
            run = 1
            while x + run < width and run < 255 and row[x + run] == row[x]:
                run += 1
            data += bytes((run, index[row[x]]))
            x += run
        data += b"\x00\x00"  # end of line
    data[-2:] = b"\x00\x01"  # end of bitmap
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + 40 + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data),
                         2835, 2835, len(palette), 0)
    return file_header + header + colours + bytes(data)


def icon_file(kind, image, width, height, colour_count, field1, field2):
    """One-image .ico (kind 1) or .cur (kind 2). For cursors field1/field2
    hold the hot spot, for icons the planes and bit count."""
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", width, height, colour_count, 0, field1,
                        field2, len(image), 6 + 16)
    return directory + entry + image


# --- window.bmp -------------------------------------------------------------


def draw_window():
    width, height = 263, 119
    picture = canvas(width, height, LIGHT_BLUE)
    outline_box(picture, BLACK)

    # The white panel below the title strip, framed in black with its corners
    # cut by one diagonal pixel.
    left, right, top, bottom = 3, 259, 16, 115
    for x in range(left + 2, right - 1):
        picture[top][x] = BLACK
        picture[bottom][x] = BLACK
    for y in range(top + 2, bottom - 1):
        picture[y][left] = BLACK
        picture[y][right] = BLACK
    for y in (top + 1, bottom - 1):
        picture[y][left + 1] = BLACK
        picture[y][right - 1] = BLACK

    for y in range(top + 1, bottom):
        edge = 1 if y in (top + 1, bottom - 1) else 0
        for x in range(left + edge + 1, right - edge):
            picture[y][x] = WHITE
    return picture


# --- close.bmp and minimize.bmp ---------------------------------------------


def draw_button():
    picture = canvas(12, 12, LIGHT_BLUE)
    outline_box(picture, BLACK)
    return picture


def draw_close():
    picture = draw_button()
    for i in range(2, 10):
        picture[i][i] = BLACK
        picture[i][11 - i] = BLACK
    return picture


def draw_minimize():
    picture = draw_button()
    for x in range(3, 9):
        picture[9][x] = BLACK
    return picture


# --- Shapes for the cursor and the icon -------------------------------------
# Each shape is a test "is the point (x, y) inside?"; pixels are sampled at
# their centres.


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def capsule(x1, y1, x2, y2, r):
    """A thick line with round ends."""
    def inside(x, y):
        dx, dy = x2 - x1, y2 - y1
        t = ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)
        t = max(0.0, min(1.0, t))
        px, py = x1 + t * dx, y1 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= r * r
    return inside


def box(x1, y1, x2, y2):
    return lambda x, y: x1 <= x <= x2 and y1 <= y <= y2


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def rasterize(shape, size, transform=lambda x, y: (x, y)):
    return [[shape(*transform(x + 0.5, y + 0.5)) for x in range(size)]
            for y in range(size)]


def is_edge(mask, x, y):
    """A pixel of the shape that touches the outside (or the picture edge)."""
    size = len(mask)
    for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
        if not (0 <= nx < size and 0 <= ny < size) or not mask[ny][nx]:
            return True
    return False


# --- hand.cur ---------------------------------------------------------------


def hand_shape():
    """An upright hand, index finger up, its tip's centre at (0, 0)."""
    finger = 2.6
    return union(
        capsule(0, 0, 0, 12, finger),               # index finger
        capsule(5.2, 11, 5.2, 14, finger),          # curled fingers...
        capsule(10.4, 12, 10.4, 15, finger),
        capsule(15.2, 13.5, 15.2, 16, finger * 0.9),
        box(-finger, 12, 17.5, 22),                 # palm
        capsule(-2, 18, -6.5, 13, 2.2),             # thumb
        capsule(2, 22, 12, 22, 5),                  # heel of the hand
    )


def draw_hand():
    size = 32
    shape = hand_shape()
    # Turn the hand 40 degrees so the finger points up and to the left, and
    # put the fingertip in the top-left corner, where the hot spot is.
    angle = math.radians(40)
    cos_a, sin_a = math.cos(angle), math.sin(angle)
    tip_x, tip_y = 2.5, 2.2

    def to_hand(x, y):
        x, y = x - tip_x, y - tip_y
        return x * cos_a - y * sin_a, x * sin_a + y * cos_a

    mask = rasterize(shape, size, to_hand)
    picture = canvas(size, size, None)
    for y in range(size):
        for x in range(size):
            if mask[y][x]:
                picture[y][x] = BLACK if is_edge(mask, x, y) else WHITE
    return picture


def cursor_file(picture, hot_x, hot_y):
    size = len(picture)
    # XOR bits pick the colour (0 black, 1 white); AND bits are 1 where the
    # screen shows through.
    xor = bit_rows([[1 if p == WHITE else 0 for p in row] for row in picture])
    and_ = bit_rows([[1 if p is None else 0 for p in row] for row in picture])
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = (info_header(size, size * 2, 1, len(xor) + len(and_), 2) +
             palette + xor + and_)
    return icon_file(2, image, size, size, 2, hot_x, hot_y)


# --- program.ico ------------------------------------------------------------


def person(cx):
    """A round head over rounded shoulders, standing on the bottom edge."""
    return union(circle(cx, 9, 4.8), capsule(cx - 2, 22, cx + 2, 22, 6.5),
                 box(cx - 6.5, 22, cx + 6.5, 32))


def draw_icon():
    size = 32
    figures = [
        (person(8), (40, 150, 60), (10, 80, 25)),       # green
        (person(24), (50, 110, 220), (15, 45, 120)),   # blue
    ]
    picture = canvas(size, size, None)
    for shape, fill, edge in figures:
        mask = rasterize(shape, size)
        for y in range(size):
            for x in range(size):
                if mask[y][x]:
                    picture[y][x] = edge if is_edge(mask, x, y) else fill
    return picture


def icon_file_24(picture):
    size = len(picture)
    xor = rgb24_rows(picture)
    and_ = bit_rows([[1 if p is None else 0 for p in row] for row in picture])
    image = info_header(size, size * 2, 24, len(xor) + len(and_)) + xor + and_
    return icon_file(1, image, size, size, 0, 1, 24)


def main():
    out_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           os.pardir, "resources")
    files = {
        "window.bmp": bmp24(draw_window()),
        "window-rle8.bmp": bmp_rle8(draw_window()),
        "close.bmp": bmp24(draw_close()),
        "minimize.bmp": bmp24(draw_minimize()),
        "hand.cur": cursor_file(draw_hand(), 0, 0),
        "program.ico": icon_file_24(draw_icon()),
    }
    for name, data in files.items():
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
        print(f"wrote resources/{name} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
