#!/usr/bin/env python3
"""Builds a font sheet from a text drawing of its glyphs.

Usage: make_sheet.py [--check] [DRAWING SHEET [FONT]]

Writes SHEET, the 64 x 128 sheet that glyphrip reads, drawn in DRAWING, as
a one-bit BMP, or a one-bit PNG where its name ends in .png, and FONT, the
font it must give, computed straight from the drawing rather than from the
picture, so that converting the one and comparing with the other checks
the tool. Without paths, the example's: glyphs.txt, sheet.bmp, sheet.png
and font.raw beside this script. With --check, writes nothing and fails if
a file is not what the drawing says.
"""
import argparse
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
WIDTH, HEIGHT = 64, 128
PIXEL_DATA_OFFSET = 14 + 40 + 8


def read_glyphs(path):
    """Returns 128 glyphs, each 8 strings of 8 pixels, blank where not drawn.
    Blank lines and lines that start with ';' are passed over; any other
    line out of place stops the script with its line number."""
    glyphs = [["." * 8] * 8 for _ in range(128)]
    lines = [(n, l) for n, l in enumerate(path.read_text().splitlines(), 1) if l and not l.startswith(";")]
    for i in range(0, len(lines), 9):
        number, head = lines[i]
        code = head.split()[0]
        if not code.isdigit() or int(code) >= 128:
            sys.exit(f"{path}:{number}: expected a character code from 0 to 127, found {head!r}")
        rows = lines[i + 1 : i + 9]
        for n, row in rows:
            if len(row) != 8 or set(row) - set(".#"):
                sys.exit(f"{path}:{n}: glyph {head!r}: expected a row of 8 '.' or '#', found {row!r}")
        if len(rows) != 8:
            sys.exit(f"{path}:{number}: glyph {head!r} has {len(rows)} rows, not 8")
        glyphs[int(code)] = [row for _, row in rows]
    return glyphs


def picture(glyphs):
    """The sheet as 128 rows of 64 pixels, top row first: glyph n stands in
    column n // 16 and glyph row n % 16."""
    rows = [[0] * WIDTH for _ in range(HEIGHT)]
    for n, glyph in enumerate(glyphs):
        x0, y0 = 8 * (n // 16), 8 * (n % 16)
        for s, line in enumerate(glyph):
            for x, ch in enumerate(line):
                rows[y0 + s][x0 + x] = ch == "#"
    return rows


def bmp(rows):
    """A BMP with the 62-byte header: bottom row first, leftmost pixel in the
    top bit. Colour 0 is white paper, colour 1 black ink."""
    pixels = bytearray()
    for row in reversed(rows):
        for b in range(0, WIDTH, 8):
            pixels.append(sum(row[b + i] << (7 - i) for i in range(8)))
    file_header = struct.pack("<2sIHHI", b"BM", PIXEL_DATA_OFFSET + len(pixels), 0, 0, PIXEL_DATA_OFFSET)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 1, 0, len(pixels), 2835, 2835, 2, 2)
    colours = bytes([255, 255, 255, 0, 0, 0, 0, 0])
    return file_header + info_header + colours + bytes(pixels)


def png(rows):
    """A PNG of one-bit grey pixels, black ink 0 and white paper 1, its
    image data stored rather than compressed, so that no version of zlib
    changes its bytes."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(sum((not row[b + i]) << (7 - i) for i in range(8)) for b in range(0, WIDTH, 8))
                   for row in rows)
    stored = b"\x78\x01\x01" + struct.pack("<HH", len(raw), 0xFFFF - len(raw)) + raw + struct.pack(">I", zlib.adler32(raw))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 1, 0, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", stored) + chunk(b"IEND", b"")


def raw_font(glyphs):
    """Glyph after glyph in code order, a byte per scanline, leftmost pixel
    in the lowest bit."""
    return bytes(sum((ch == "#") << x for x, ch in enumerate(line)) for glyph in glyphs for line in glyph)


def arguments():
    parser = argparse.ArgumentParser(usage="%(prog)s [--check] [DRAWING SHEET [FONT]]",
                                     description="Builds a font sheet from a text drawing of its glyphs.")
    parser.add_argument("--check", action="store_true", help="write nothing; fail if a file is not what the drawing says")
    parser.add_argument("paths", nargs="*", metavar="DRAWING SHEET FONT",
                        help="the drawing, the sheet to write and the font to write (default: the example's)")
    args = parser.parse_args()
    if not args.paths:
        return args.check, HERE / "glyphs.txt", [HERE / "sheet.bmp", HERE / "sheet.png"], HERE / "font.raw"
    if len(args.paths) not in (2, 3):
        parser.error("give a drawing and a sheet, and a font if wanted")
    paths = [Path(p) for p in args.paths] + [None]
    return args.check, paths[0], [paths[1]], paths[2]


def main():
    check, drawing, sheets, font = arguments()
    glyphs = read_glyphs(drawing)
    rows = picture(glyphs)
    wanted = {sheet: png(rows) if sheet.suffix.lower() == ".png" else bmp(rows) for sheet in sheets}
    if font:
        wanted[font] = raw_font(glyphs)
    if check:
        stale = [str(p) for p, data in wanted.items() if not p.exists() or p.read_bytes() != data]
        if stale:
            sys.exit(f"out of date with {drawing}: {', '.join(stale)} (run make_sheet.py)")
        return
    for path, data in wanted.items():
        path.write_bytes(data)


if __name__ == "__main__":
    main()
