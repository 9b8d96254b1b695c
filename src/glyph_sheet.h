// The font sheet in memory, shared by the sheet reader, the font writer and
// the driver that owns it.
#ifndef GLYPHRIP_GLYPH_SHEET_H
#define GLYPHRIP_GLYPH_SHEET_H

#include <cstdio>

enum {
    SHEET_ROWS = 128,    // picture rows, top row first
    SHEET_ROW_BYTES = 8, // 64 pixels, leftmost pixel in bit 0 of each byte
    SHEET_BYTES = SHEET_ROWS * SHEET_ROW_BYTES
};

// The pixel data always starts here: file header, information header and a
// two-entry colour table. The headers themselves are never examined.
constexpr long SHEET_DATA_OFFSET = 62;

// Entry (row, column) is sheet[row * SHEET_ROW_BYTES + column].
typedef unsigned char glyph_sheet[SHEET_BYTES];

// Mirrors the bit order of a byte; EOF (-1) gives 0xFF, which is how bytes
// missing from a short sheet come out.
int reverse_bits(int v);

// Both return 0, or -1 with errno set by the stream operation that failed;
// neither opens, closes or reports anything. An input that ends early is no
// failure: the rest of the sheet is 0xFF.
int read_sheet(FILE *in, glyph_sheet sheet);
int write_font(const glyph_sheet sheet, FILE *out);

#endif
