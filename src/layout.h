// Where a picture's glyphs stand, and the font cut out of it: glyphrip's
// three sheets, each a layout chosen by the picture's size, or any grid of
// cells glyphcut is told.
#ifndef GLYPHRIP_LAYOUT_H
#define GLYPHRIP_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "glyph_sheet.h"

// The largest picture read: 4096 pixels a side, 4,194,304 in all.
constexpr unsigned MOST_SIDE = 4096;
constexpr std::uint64_t MOST_PIXELS = 4194304;
// The largest cell, enlargement, offset or gap, and code glyphcut takes.
constexpr unsigned MOST_CELL = 32, MOST_SCALE = 16, MOST_SPACE = 4095, LAST_CODE = 65535;

// A grid of cells: each cell W x H font pixels, each font pixel K x K
// picture pixels, of which the one at the centre of its block, (x K + K
// div 2, y K + K div 2) from the cell's corner, is read; X, Y picture
// pixels left of and above the first cell, and a gap between neighbouring
// cells across and down. The codes go along the rows, or down the columns,
// from `first`, and `count` cells, from the first in that order, are read.
struct layout {
    unsigned cell_width, cell_height;
    unsigned scale;
    unsigned offset_x, offset_y;
    unsigned gap_x, gap_y;
    unsigned columns, rows;
    bool by_columns;
    unsigned first;
    unsigned count;
};

// Which pixels are ink: glyphrip's rule; the dark or light side of
// mid-grey; the pixels at least half opaque; those of one colour; or those
// not of the paper's colour. A pixel less than half opaque is paper under
// every choice.
enum class ink_choice : unsigned char { rule, dark, light, opaque, colour, paper };

// What a run is told: nothing for glyphrip, and glyphcut's options. The
// layout's values are those told, the rest their defaults; which were
// told says whether the picture's size chooses the layout.
struct told {
    const char *program; // which names itself in the C source it writes
    layout l;
    bool cell, scale, offset, gap, grid, order, count;
    ink_choice ink;
    unsigned char colour[3]; // red, green and blue, for colour and paper
    bool msb;                // each byte's leftmost pixel in bit 7, not bit 0
};
// What `program` is told where it is told nothing: glyphrip's layouts and
// rule, each byte's leftmost pixel in bit 0.
told nothing_told(const char *program);
// Whether any of the layout's options was told.
bool tells_layout(const told &t);

// glyphrip's sheet of a picture's size, if it is one: 8 x 8 cells, 8 x 16
// down the columns, or 16 x 8 or 16 x 16 along the rows.
bool sheet_layout(unsigned width, unsigned height, layout &l);

// The layout of a picture of `width` x `height`: glyphrip's sheet for its
// size where no layout is told, otherwise the one told, whose cells must
// lie inside it and hold the glyphs. 0, or 1 with `why` filled in.
int fit_layout(const told &t, unsigned width, unsigned height, layout &l, char why[REASON_SIZE]);

// Where glyph n's cell stands in the grid.
struct cell_place {
    unsigned column, row;
};
inline cell_place cell_of(const layout &l, unsigned n)
{
    if (l.by_columns)
        return {n / l.rows, n % l.rows};
    return {n % l.columns, n / l.columns};
}
// The picture pixel font pixel (0, 0) of that cell is read from.
void corner_of(const layout &l, cell_place c, std::uint64_t &x, std::uint64_t &y);

// Whether the cells cover the picture, so that every pixel is read: a
// whole sheet, or a grid told so. Then what is known of the whole picture
// as it is read holds for the font.
bool covers(const layout &l, unsigned width, unsigned height);

// The font, as the layout cuts it: glyph after glyph in code order, each
// H rows from the top, each row ceil(W / 8) bytes, the leftmost pixel in
// bit 0 of the first byte (bit 7 where `msb`), unused bits 0. For 8 x 8
// cells, glyphrip's raw font. At most 2 MiB: a font of 65536 glyphs of
// 32 rows of one byte.
constexpr size_t MOST_FONT_BYTES = 2097152;
struct font {
    layout l;
    ink_from ink;
    bool msb;
    const char *program; // which cut it
    size_t row_bytes;    // ceil(W / 8)
    size_t length;       // row_bytes H count
    unsigned char data[MOST_FONT_BYTES];
};

// The cells' pixels of a plane of the picture, a bit each, rows of
// `stride` bytes with 8 bytes to spare after the last, as the font holds
// them; and of a plane of a byte a pixel, rows of `width`, in the same
// order, a byte each.
void cut_bits(const unsigned char *plane, size_t stride, const layout &l, unsigned char *out);
void cut_bytes(const unsigned char *plane, size_t width, const layout &l, unsigned char *out);

#endif
