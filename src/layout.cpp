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
    if (extent(columns, across, l.offset_x, l.gap_x) > width)
        return refuse_extent(why, columns, true, across, extent(columns, across, l.offset_x, l.gap_x), width);
    if (extent(rows, down, l.offset_y, l.gap_y) > height)
        return refuse_extent(why, rows, false, down, extent(rows, down, l.offset_y, l.gap_y), height);
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
    x = l.offset_x + std::uint64_t{c.column} * (std::uint64_t{l.cell_width} * l.scale + l.gap_x) + l.scale / 2;
    y = l.offset_y + std::uint64_t{c.row} * (std::uint64_t{l.cell_height} * l.scale + l.gap_y) + l.scale / 2;
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

void cut_bits(const unsigned char *plane, size_t stride, const layout &l, unsigned char *out)
{
    const size_t row_bytes = (l.cell_width + 7) / 8;
    for (unsigned n = 0; n < l.count; n++) {
        std::uint64_t x = 0, y = 0;
        corner_of(l, cell_of(l, n), x, y);
        const unsigned char *row = plane + y * stride;
        // Cells of a byte's width on a byte's edge, as a sheet's are: a
        // byte a row.
        if (l.cell_width == 8 && l.scale == 1 && x % 8 == 0) {
            for (unsigned r = 0; r < l.cell_height; r++, row += stride)
                *out++ = row[x / 8];
            continue;
        }
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
            const unsigned char *row = plane + (y + std::uint64_t{r} * l.scale) * width;
            for (unsigned i = 0; i < l.cell_width; i++)
                *out++ = row[x + std::uint64_t{i} * l.scale];
        }
    }
}
