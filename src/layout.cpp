// The layout of a picture's glyphs, and the cut of the font out of its
// planes.
#include <cstring>

#include "bytes.h"
#include "layout.h"
#include "picture.h"

told nothing_told(const char *program)
{
    told t = {};
    t.program = program;
    t.l = {8, 8, 1, 0, 0, 0, 0, 0, 0, false, 0, 0};
    t.ink = ink_choice::rule;
    return t;
}

bool tells_layout(const told &t) { return t.cell || t.scale || t.offset || t.gap || t.grid || t.order || t.count; }

bool sheet_layout(unsigned width, unsigned height, layout &l)
{
    if (!is_sheet_size(width, height))
        return false;
    l = {8, 8, 1, 0, 0, 0, 0, width / 8, height / 8, width == 64, 0, width * height / 64};
    return true;
}

// The picture pixels `n` cells of `size` pixels need from the edge, with
// `space` before the first and `gap` between each two.
static std::uint64_t extent(unsigned n, unsigned size, unsigned space, unsigned gap)
{
    return space + std::uint64_t{n} * size + (n > 0 ? std::uint64_t{n - 1} * gap : 0);
}

// As many whole cells as fit from `space` on, with `gap` between them.
static unsigned fitting(unsigned side, unsigned size, unsigned space, unsigned gap)
{
    return side < space ? 0 : static_cast<unsigned>((std::uint64_t{side} - space + gap) / (std::uint64_t{size} + gap));
}

// Refuses a grid that runs past the picture's edge, one way.
static int refuse_extent(char why[REASON_SIZE], unsigned n, bool across, unsigned size, std::uint64_t need,
                         unsigned side)
{
    const char *what = across ? (n == 1 ? "column" : "columns") : (n == 1 ? "row" : "rows");
    return refuse(why, "%u %s of %u-pixel cells need%s %llu pixels; the picture is %u %s", n, what, size,
                  n == 1 ? "s" : "", static_cast<unsigned long long>(need), side, across ? "wide" : "high");
}

int fit_layout(const told &t, unsigned width, unsigned height, layout &l, char why[REASON_SIZE])
{
    if (!tells_layout(t)) {
        if (!sheet_layout(width, height, l))
            return refuse_size(why, width, height);
        l.first = t.l.first;
        return 0;
    }
    if (width > MOST_SIDE || height > MOST_SIDE || std::uint64_t{width} * height > MOST_PIXELS)
        return refuse(why, "%u x %u pixels; glyphcut reads pictures of up to %u pixels a side and %llu in all", width,
                      height, MOST_SIDE, static_cast<unsigned long long>(MOST_PIXELS));
    l = t.l;
    unsigned across = l.cell_width * l.scale, down = l.cell_height * l.scale;
    if (!t.grid) {
        l.columns = fitting(width, across, l.offset_x, l.gap_x);
        l.rows = fitting(height, down, l.offset_y, l.gap_y);
    }
    unsigned columns = l.columns > 0 ? l.columns : 1, rows = l.rows > 0 ? l.rows : 1;
    std::uint64_t need_across = extent(columns, across, l.offset_x, l.gap_x),
                  need_down = extent(rows, down, l.offset_y, l.gap_y);
    if (need_across > width)
        return refuse_extent(why, columns, true, across, need_across, width);
    if (need_down > height)
        return refuse_extent(why, rows, false, down, need_down, height);
    std::uint64_t cells = std::uint64_t{l.columns} * l.rows;
    if (!t.count)
        l.count = static_cast<unsigned>(cells); // at most 4194304 cells of a pixel each
    else if (l.count > cells)
        return refuse(why, "%u glyphs need %u cells; the grid of %u x %u has %llu", l.count, l.count, l.columns, l.rows,
                      static_cast<unsigned long long>(cells));
    if (std::uint64_t{l.first} + l.count - 1 > LAST_CODE)
        return refuse(why, "%u glyphs from code %u run past code %u", l.count, l.first, LAST_CODE);
    // The codes run down the columns where the layout told is glyphrip's
    // sheet of 64 x 128, as that sheet's do.
    layout sheet;
    if (!t.order)
        l.by_columns = sheet_layout(width, height, sheet) && sheet.by_columns && covers(l, width, height);
    return 0;
}

void corner_of(const layout &l, cell_place c, std::uint64_t &x, std::uint64_t &y)
{
    x = l.offset_x +
        static_cast<std::uint64_t>(c.column) * (static_cast<std::uint64_t>(l.cell_width) * l.scale + l.gap_x) +
        l.scale / 2;
    y = l.offset_y +
        static_cast<std::uint64_t>(c.row) * (static_cast<std::uint64_t>(l.cell_height) * l.scale + l.gap_y) +
        l.scale / 2;
}

bool covers(const layout &l, unsigned width, unsigned height)
{
    return l.scale == 1 && l.offset_x == 0 && l.offset_y == 0 && l.gap_x == 0 && l.gap_y == 0 &&
           std::uint64_t{l.columns} * l.cell_width == width && std::uint64_t{l.rows} * l.cell_height == height &&
           std::uint64_t{l.count} == std::uint64_t{l.columns} * l.rows;
}

// A row of a cell, `width` pixels from bit `x` of a plane's row on, every
// `scale`th, as the font holds it.
static std::uint32_t cell_row(const unsigned char *row, std::uint64_t x, unsigned width, unsigned scale)
{
    if (scale == 1) {
        // At most 7 + 32 bits from the byte where it starts.
        std::uint64_t w;
        memcpy(&w, row + x / 8, 8);
        w >>= x % 8;
        return static_cast<std::uint32_t>(width == 32 ? w : w & ((std::uint64_t{1} << width) - 1));
    }
    std::uint32_t bits = 0;
    for (unsigned i = 0; i < width; i++, x += scale)
        bits |= static_cast<std::uint32_t>(row[x / 8] >> (x % 8) & 1U) << i;
    return bits;
}

// Glyph n's place in the font, from its cell's.
static size_t glyph_at(const layout &l, unsigned column, unsigned row)
{
    return l.by_columns ? size_t{column} * l.rows + row : size_t{row} * l.columns + column;
}

// Swaps the bytes of a and b that `mask` picks out of b and, `shift` bits
// up, out of a.
static inline void swap_bytes(std::uint64_t &a, std::uint64_t &b, unsigned shift, std::uint64_t mask)
{
    std::uint64_t t = ((a >> shift) ^ b) & mask;
    a ^= t << shift;
    b ^= t;
}

// The bytes of eight rows of eight cells side by side, each a byte wide,
// turned so that each word holds one cell's eight rows: an 8 x 8
// transpose of bytes in three swaps of halves, quarters and eighths.
static inline void transpose_bytes(std::uint64_t &w0, std::uint64_t &w1, std::uint64_t &w2, std::uint64_t &w3,
                                   std::uint64_t &w4, std::uint64_t &w5, std::uint64_t &w6, std::uint64_t &w7)
{
    const std::uint64_t halves = 0x00000000FFFFFFFFULL, quarters = 0x0000FFFF0000FFFFULL,
                        eighths = 0x00FF00FF00FF00FFULL;
    swap_bytes(w0, w4, 32, halves);
    swap_bytes(w1, w5, 32, halves);
    swap_bytes(w2, w6, 32, halves);
    swap_bytes(w3, w7, 32, halves);
    swap_bytes(w0, w2, 16, quarters);
    swap_bytes(w1, w3, 16, quarters);
    swap_bytes(w4, w6, 16, quarters);
    swap_bytes(w5, w7, 16, quarters);
    swap_bytes(w0, w1, 8, eighths);
    swap_bytes(w2, w3, 8, eighths);
    swap_bytes(w4, w5, 8, eighths);
    swap_bytes(w6, w7, 8, eighths);
}

// Cells 8 pixels wide side by side from a byte's edge, each row of a cell
// a byte of the plane, every cell a glyph, as glyphrip's sheets are: eight
// cells' eight rows at a time, read in the plane's order.
static bool cut_side_by_side(const unsigned char *plane, size_t stride, const layout &l, unsigned char *out)
{
    if (l.cell_width != 8 || l.scale != 1 || l.offset_x % 8 != 0 || l.gap_x != 0 || l.cell_height % 8 != 0 ||
        std::uint64_t{l.count} != std::uint64_t{l.columns} * l.rows)
        return false;
    // From one cell to the next across, in the font.
    const size_t step = (l.by_columns ? size_t{l.rows} : 1) * l.cell_height;
    for (unsigned row = 0; row < l.rows; row++) {
        const unsigned char *top = plane +
                                   (l.offset_y + static_cast<std::uint64_t>(row) * (l.cell_height + l.gap_y)) * stride +
                                   l.offset_x / 8;
        for (unsigned r = 0; r < l.cell_height; r += 8) {
            unsigned column = 0;
            for (; column + 8 <= l.columns; column += 8) {
                std::uint64_t w[8];
                for (unsigned i = 0; i < 8; i++)
                    memcpy(&w[i], top + (r + i) * stride + column, 8);
                transpose_bytes(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
                unsigned char *cell = out + glyph_at(l, column, row) * l.cell_height + r;
                for (unsigned i = 0; i < 8; i++, cell += step)
                    memcpy(cell, &w[i], 8);
            }
            for (; column < l.columns; column++)
                for (unsigned i = 0; i < 8; i++)
                    out[glyph_at(l, column, row) * l.cell_height + r + i] = top[(r + i) * stride + column];
        }
    }
    return true;
}

// glyphrip's sheets, whose planes' rows are `columns` bytes, a byte a
// cell: plain loops of constant strides, which the compiler vectorises.
static bool cut_sheet(const unsigned char *plane, size_t stride, const layout &l, unsigned char *out)
{
    if (l.cell_width != 8 || l.cell_height != 8 || l.scale != 1 || l.offset_x != 0 || l.offset_y != 0 || l.gap_x != 0 ||
        l.gap_y != 0 || std::uint64_t{l.count} != std::uint64_t{l.columns} * l.rows || stride != l.columns)
        return false;
    size_t n = 0, height = size_t{8} * l.rows;
    if (l.by_columns && l.columns == 8) {
        for (size_t column = 0; column < 8; column++)
            for (size_t row = 0; row < height; row++)
                out[n++] = plane[row * 8 + column];
        return true;
    }
    if (!l.by_columns && l.columns == 16) {
        for (size_t glyph_row = 0; glyph_row < l.rows; glyph_row++)
            for (size_t column = 0; column < 16; column++)
                for (size_t s = 0; s < 8; s++)
                    out[n++] = plane[(8 * glyph_row + s) * 16 + column];
        return true;
    }
    return false;
}

void cut_bits(const unsigned char *plane, size_t stride, const layout &l, unsigned char *out)
{
    if (cut_sheet(plane, stride, l, out) || cut_side_by_side(plane, stride, l, out))
        return;
    const size_t row_bytes = (l.cell_width + 7) / 8;
    for (unsigned n = 0; n < l.count; n++) {
        std::uint64_t x = 0, y = 0;
        corner_of(l, cell_of(l, n), x, y);
        const unsigned char *row = plane + y * stride;
        for (unsigned r = 0; r < l.cell_height; r++, row += stride * l.scale) {
            std::uint32_t bits = cell_row(row, x, l.cell_width, l.scale);
            for (size_t i = 0; i < row_bytes; i++)
                *out++ = static_cast<unsigned char>(bits >> (8 * i));
        }
    }
}

void cut_bytes(const unsigned char *plane, size_t width, const layout &l, unsigned char *out)
{
    for (unsigned n = 0; n < l.count; n++) {
        std::uint64_t x = 0, y = 0;
        corner_of(l, cell_of(l, n), x, y);
        for (unsigned r = 0; r < l.cell_height; r++) {
            const unsigned char *row = plane + (y + static_cast<std::uint64_t>(r) * l.scale) * width;
            for (unsigned i = 0; i < l.cell_width; i++)
                *out++ = row[x + static_cast<std::uint64_t>(i) * l.scale];
        }
    }
}
