#!/usr/bin/env python3
"""Builds a font sheet from a text drawing of its glyphs.

Usage: make_sheet.py [--check] [--size WxH] [DRAWING SHEET [FONT]]

Writes SHEET, a sheet that glyphrip reads, drawn in DRAWING, as a one-bit
BMP, or a one-bit PNG where its name ends in .png, and FONT, the font it
must give, computed straight from the drawing rather than from the
picture, so that converting the one and comparing with the other checks
the tool. A drawing of codes 0 to 127 makes a 64 x 128 sheet, or with
--size 128x64 a 128 x 64 one; a drawing with codes from 128 to 255 a
128 x 128 sheet of 256 glyphs. Without paths, the example's, beside this
script: from glyphs.txt, sheet.bmp and sheet.png of 64 x 128,
sheet-128x64.png, and sheet-128x128.png of 256 glyphs, 128 to 255 blank,
and their fonts, font.raw and font-256.raw. With --check, writes nothing
and fails if a file is not what the drawing says.
"""
import argparse
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
PIXEL_DATA_OFFSET = 14 + 40 + 8
SIZES = {"64x128": (64, 128), "128x64": (128, 64), "128x128": (128, 128)}


def read_glyphs(path):
    """Returns 256 glyphs, each 8 strings of 8 pixels, blank where not drawn,
    and whether any of codes 128 to 255 is drawn. Blank lines and lines
    that start with ';' are passed over; any other line out of place stops
    the script with its line number."""
    glyphs = [["." * 8] * 8 for _ in range(256)]
    lines = [(n, l) for n, l in enumerate(path.read_text().splitlines(), 1) if l and not l.startswith(";")]
    for i in range(0, len(lines), 9):
        number, head = lines[i]
        code = head.split()[0]
        if not code.isdigit() or int(code) >= 256:
            sys.exit(f"{path}:{number}: expected a character code from 0 to 255, found {head!r}")
        rows = lines[i + 1 : i + 9]
        for n, row in rows:
            if len(row) != 8 or set(row) - set(".#"):
                sys.exit(f"{path}:{n}: glyph {head!r}: expected a row of 8 '.' or '#', found {row!r}")
        if len(rows) != 8:
            sys.exit(f"{path}:{number}: glyph {head!r} has {len(rows)} rows, not 8")
        glyphs[int(code)] = [row for _, row in rows]
    return glyphs, any(int(lines[i][1].split()[0]) >= 128 for i in range(0, len(lines), 9))


def picture(glyphs, width, height):
    """The sheet as rows of pixels, top row first: on a sheet 64 wide glyph
    n stands in column n // 16 and glyph row n % 16, on one 128 wide in
    column n % 16 and glyph row n // 16."""
    rows = [[0] * width for _ in range(height)]
    for n, glyph in enumerate(glyphs[: width * height // 64]):
        column, row = (n // 16, n % 16) if width == 64 else (n % 16, n // 16)
        for s, line in enumerate(glyph):
            for x, ch in enumerate(line):
                rows[8 * row + s][8 * column + x] = ch == "#"
    return rows


def packed(row, ink):
    """A row of pixels eight to a byte, the leftmost in the top bit: 1 where
    a pixel is `ink`."""
    return bytes(sum((row[b + i] == ink) << (7 - i) for i in range(8)) for b in range(0, len(row), 8))


def bmp(rows):
    """A BMP with the 62-byte header: bottom row first, leftmost pixel in the
    top bit. Colour 0 is white paper, colour 1 black ink."""
    pixels = b"".join(packed(row, True) for row in reversed(rows))
    width, height = len(rows[0]), len(rows)
    file_header = struct.pack("<2sIHHI", b"BM", PIXEL_DATA_OFFSET + len(pixels), 0, 0, PIXEL_DATA_OFFSET)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 2835, 2835, 2, 2)
    colours = bytes([255, 255, 255, 0, 0, 0, 0, 0])
    return file_header + info_header + colours + pixels


def png(rows):
    """A PNG of one-bit grey pixels, black ink 0 and white paper 1, its
    image data stored rather than compressed, so that no version of zlib
    changes its bytes."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + packed(row, False) for row in rows)
    stored = b"\x78\x01\x01" + struct.pack("<HH", len(raw), 0xFFFF - len(raw)) + raw + struct.pack(">I", zlib.adler32(raw))
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 1, 0, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", stored) + chunk(b"IEND", b"")


def raw_font(glyphs, count):
    """The first `count` glyphs in code order, a byte per scanline, leftmost
    pixel in the lowest bit."""
    return bytes(sum((ch == "#") << x for x, ch in enumerate(line)) for glyph in glyphs[:count] for line in glyph)


def arguments():
    parser = argparse.ArgumentParser(usage="%(prog)s [--check] [--size WxH] [DRAWING SHEET [FONT]]",
                                     description="Builds a font sheet from a text drawing of its glyphs.")
    parser.add_argument("--check", action="store_true", help="write nothing; fail if a file is not what the drawing says")
    parser.add_argument("--size", choices=["128x64"], help="draw 128 glyphs along the rows of a 128 x 64 sheet")
    parser.add_argument("paths", nargs="*", metavar="DRAWING SHEET FONT",
                        help="the drawing, the sheet to write and the font to write (default: the example's)")
    args = parser.parse_args()
    if not args.paths:
        # each sheet with its size, each font with its glyphs
        return args.check, HERE / "glyphs.txt", [(HERE / "sheet.bmp", "64x128"), (HERE / "sheet.png", "64x128"),
                                                (HERE / "sheet-128x64.png", "128x64"),
                                                (HERE / "sheet-128x128.png", "128x128"),
                                                (HERE / "font.raw", 128), (HERE / "font-256.raw", 256)]
    if len(args.paths) not in (2, 3):
        parser.error("give a drawing and a sheet, and a font if wanted")
    wanted = [(Path(args.paths[1]), args.size)]
    if len(args.paths) == 3:
        wanted.append((Path(args.paths[2]), 0)) # a font of as many glyphs as the drawing has
    return args.check, Path(args.paths[0]), wanted


def main():
    check, drawing, targets = arguments()
    glyphs, past_127 = read_glyphs(drawing)
    wanted = {}
    for path, what in targets:
        if isinstance(what, int):
            wanted[path] = raw_font(glyphs, what or (256 if past_127 else 128))
            continue
        if past_127 and what == "128x64":
            sys.exit(f"{drawing}: codes past 127 need the 128 x 128 sheet")
        rows = picture(glyphs, *SIZES[what or ("128x128" if past_127 else "64x128")])
        wanted[path] = png(rows) if path.suffix.lower() == ".png" else bmp(rows)
    if check:
        stale = [str(p) for p, data in wanted.items() if not p.exists() or p.read_bytes() != data]
        if stale:
            sys.exit(f"out of date with {drawing}: {', '.join(stale)} (run make_sheet.py)")
        return
    for path, data in wanted.items():
        path.write_bytes(data)


if __name__ == "__main__":
    main()
