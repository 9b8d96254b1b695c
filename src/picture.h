// What the readers of pictures share: refusals, the one-bit layout, and
// each format's reader.
#ifndef GLYPHRIP_PICTURE_H
#define GLYPHRIP_PICTURE_H

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "glyph_sheet.h"
#include "ink.h"
#include "input.h"

// Fills `why` with one line, printf's way, and gives 1, as readers give
// for an input they refuse.
[[gnu::format(printf, 2, 3)]] int refuse(char why[REASON_SIZE], const char *format, ...);
// The same for a picture of another size than a sheet's.
int refuse_size(char why[REASON_SIZE], long long width, long long height);

// Each reads the picture whose first bytes `in` has at hand into the
// sheet: 0, or 1 with `why` filled in. A read error shows as the input
// ending; the caller tells the two apart.
int read_bmp(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);
int read_png(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);
int read_netpbm(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);
int read_tga(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);
// A one-bit picture's pixels from `offset` on, `width` x `height`, rows
// bottom first or top first, the leftmost pixel of each byte in its top
// bit, as the sheet's bits by value; what the input lacks is 0xFF.
void read_one_bit(input &in, std::uint64_t offset, unsigned width, unsigned height, bool top_down, glyph_sheet &sheet);

#endif
