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
// The same for a picture of another size than a sheet's, where no layout
// is told.
int refuse_size(char why[REASON_SIZE], long long width, long long height);

// Reads a picture of any kind the input's first bytes tell into the ink's
// planes, its font's layout fitted to its size: 0, or -1 with errno set by
// the stream operation that failed, or 1 with `why` filled in for an input
// it refuses. A file that is no kind it can name is the plain one-bit
// layout of a 64 x 128 sheet, where no layout is told.
int read_picture(input &in, const told &t, ink &k, char why[REASON_SIZE]);

// Each reads the picture whose first bytes `in` has at hand into the
// planes: 0, or 1 with `why` filled in. A read error shows as the input
// ending; the caller tells the two apart.
int read_bmp(input &in, const told &t, ink &k, char why[REASON_SIZE]);
int read_png(input &in, const told &t, ink &k, char why[REASON_SIZE]);
int read_netpbm(input &in, const told &t, ink &k, char why[REASON_SIZE]);
int read_tga(input &in, const told &t, ink &k, char why[REASON_SIZE]);
// A one-bit picture's pixels from `offset` on, its rows `stride` bytes,
// bottom first or top first, the leftmost pixel of each byte in its top
// bit, into `dark` by value; what the input lacks is 0xFF.
void read_one_bit(input &in, std::uint64_t offset, ink &k, size_t stride, bool top_down);

#endif
