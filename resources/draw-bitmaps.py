#!/usr/bin/env python3
"""Draws the program's bitmaps as 24-bit BMP files (run from anywhere; writes beside itself).

The pictures are pixel art kept here as text so that they can be reviewed and changed:
    FMAIN_IL_STATES   80x12, five 16x12 document-state pictures, black = transparent
    FSPRMULTISEL_IL1  16x16 folder of the catalogue tree, magenta = transparent
    BITBTN1_BITMAP    16x16 catalogue glyph of the goods picker's top bar
    BITBTN4_BITMAP    16x16 search glyph of the client picker
    APP_ICON          32x32 program icon
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

COLOURS = {
    '.': (0, 0, 0),          # transparent in the state pictures
    '#': (255, 0, 255),      # transparent in the glyphs
    'w': (255, 255, 255),
    'k': (64, 64, 64),
    'K': (128, 128, 128),
    's': (208, 208, 208),
    'r': (208, 0, 0),
    'R': (160, 0, 0),
    'P': (255, 228, 228),
    'g': (0, 150, 0),
    'G': (0, 110, 0),
    'L': (226, 248, 226),
    'y': (255, 220, 0),
    'Y': (200, 150, 0),
    'o': (255, 200, 64),
    'b': (0, 0, 160),
    'B': (120, 170, 230),
    'c': (200, 230, 255),
    'n': (150, 90, 40),
}

PAGE = [
    "...OOOOOOO......",
    "...OFFFFFOO.....",
    "...OFFFFFOFO....",
    "...OFFFFFOOOO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OFFFFFFFFO...",
    "...OOOOOOOOOO...",
]


def page(outline, fill):
    return [list(row.replace('O', outline).replace('F', fill)) for row in PAGE]


def put(pic, points, colour):
    for x, y in points:
        if 0 <= y < len(pic) and 0 <= x < len(pic[0]):
            pic[y][x] = colour


CROSS = [(5, 4), (6, 5), (7, 6), (8, 7), (9, 8), (10, 9), (6, 4), (7, 5), (8, 6), (9, 7),
         (10, 8), (11, 9), (10, 4), (9, 5), (8, 6), (7, 7), (6, 8), (5, 9), (11, 4), (10, 5),
         (9, 6), (8, 7), (7, 8), (6, 9)]
TICK = [(5, 6), (6, 7), (7, 8), (8, 7), (9, 6), (10, 5), (11, 4),
        (5, 7), (6, 8), (7, 9), (8, 8), (9, 7), (10, 6), (11, 5)]


def states():
    pictures = []
    p = page('R', 'P')
    put(p, CROSS, 'r')
    pictures.append(p)
    pictures.append(page('K', 's'))
    p = page('G', 'L')
    put(p, TICK, 'g')
    pictures.append(p)
    p = page('G', 'L')
    put(p, TICK, 'g')
    # A pencil lying across the right edge, its point down to the left.
    put(p, [(15, 2), (14, 3), (13, 4), (12, 5), (11, 6), (15, 3), (14, 4), (13, 5), (12, 6)],
        'y')
    put(p, [(11, 7), (10, 7)], 'n')
    put(p, [(10, 8)], 'k')
    pictures.append(p)
    p = page('G', 'L')
    put(p, TICK, 'g')
    # A yellow round mark at the bottom right corner.
    for y in range(6, 12):
        for x in range(10, 16):
            d = (x - 12.5) ** 2 + (y - 8.5) ** 2
            if d <= 7.5:
                p[y][x] = 'Y' if d > 3.5 else 'y'
    pictures.append(p)
    width = 16 * len(pictures)
    return [[c for pic in pictures for c in pic[y]] for y in range(12)], width


FOLDER = [
    "################",
    "################",
    "##YYYYY#########",
    "#YoooooY########",
    "#YYYYYYYYYYYYY##",
    "#YyyyyyyyyyyyY##",
    "#YyyyyyyyyyyyYk#",
    "#YyyyyyyyyyyyYk#",
    "#YyyyyyyyyyyyYk#",
    "#YyyyyyyyyyyyYk#",
    "#YyyyyyyyyyyyYk#",
    "#YyyyyyyyyyyyYk#",
    "#YYYYYYYYYYYYYk#",
    "##kkkkkkkkkkkkk#",
    "################",
    "################",
]

CATALOGUE = [
    "################",
    "#YYYY###########",
    "#YyyY###########",
    "#YYYY###########",
    "##k#############",
    "##k###YYYY######",
    "##kkkkYyyY######",
    "##k###YYYY######",
    "##k#######k#####",
    "##k#######kkBBBB",
    "##k#######k#BccB",
    "##k#######k#BBBB",
    "##k###YYYY######",
    "##kkkkYyyY######",
    "######YYYY######",
    "################",
]

SEARCH = [
    "################",
    "####kkkk########",
    "###kccccK#######",
    "##kcwccccK######",
    "#kcwccccccK#####",
    "#kcccccccBK#####",
    "#kcccccccBK#####",
    "#kccccccBBK#####",
    "##kcccBBBK######",
    "###kKKKKkkk#####",
    "#########kkk####",
    "##########kkk###",
    "###########kkk##",
    "############kkk#",
    "#############kk#",
    "################",
]


def app_icon():
    size = 32
    pic = [['#'] * size for _ in range(size)]
    for y in range(3, 31):
        for x in range(5, 27):
            edge = x in (5, 26) or y in (3, 30)
            pic[y][x] = 'n' if edge else 'w'
    for y in range(1, 6):
        for x in range(11, 21):
            pic[y][x] = 'K' if y in (1, 5) or x in (11, 20) else 's'
    for y in (10, 14, 18, 22):
        for x in range(9, 23):
            pic[y][x] = 'K'
    for x, y in TICK:
        for dx in (0, 1):
            for dy in (0, 1):
                put(pic, [(x * 2 + 2 + dx, y * 2 + 8 + dy)], 'g')
    return pic


def write_bmp(name, rows):
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for c in row:
            r, g, b = COLOURS[c]
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name + '.bmp'), 'wb') as f:
        f.write(header + info + data)


def main():
    rows, _ = states()
    write_bmp('FMAIN_IL_STATES', rows)
    write_bmp('FSPRMULTISEL_IL1', [list(r) for r in FOLDER])
    write_bmp('BITBTN1_BITMAP', [list(r) for r in CATALOGUE])
    write_bmp('BITBTN4_BITMAP', [list(r) for r in SEARCH])
    write_bmp('APP_ICON', app_icon())


if __name__ == '__main__':
    main()
