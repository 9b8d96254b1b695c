// The font sheet in memory, which glyphsheet reads a raw font into and
// writes as a picture, and what the formats share.
#ifndef GLYPHRIP_GLYPH_SHEET_H
#define GLYPHRIP_GLYPH_SHEET_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// A sheet is one of three sizes, each of 8 x 8 glyphs: 64 x 128, 128
// glyphs in 8 columns of 16, the codes down the columns; 128 x 64, 128
// glyphs in 16 columns of 8, and 128 x 128, 256 glyphs in 16 columns of
// 16, the codes along the rows.
enum { SHEET_MOST_WIDTH = 128, SHEET_MOST_HEIGHT = 128, SHEET_MOST_BYTES = SHEET_MOST_WIDTH * SHEET_MOST_HEIGHT / 8 };

constexpr bool is_sheet_size(unsigned long long width, unsigned long long height)
{
    return (width == 64 && height == 128) || (width == 128 && (height == 64 || height == 128));
}

// Which part of the ink rule gave a picture's ink: its bits as they are
// stored, its transparency, or the side of fewer pixels, dark or light of
// mid-grey, or darker or lighter of the grey half-way between its darkest
// and lightest pixels; or a choice glyphcut is told.
enum class ink_from : unsigned char { bits, transparency, dark, light, darker, lighter, told };

// The picture's rows top first, width / 8 bytes each; in each byte, the
// leftmost of its eight pixels in bit 0. Bit values are those of the
// picture's ink: 1 for ink.
struct glyph_sheet {
    unsigned width, height;
    ink_from ink;
    unsigned char bits[SHEET_MOST_BYTES];
};

// The raw font: 8 bytes a glyph, one a scanline from the top, leftmost
// pixel in bit 0; 1024 bytes of 128 glyphs, or 2048 of 256.
enum { FONT_BYTES = 1024, WIDE_FONT_BYTES = 2048 };
constexpr bool is_font_length(unsigned long long length) { return length == FONT_BYTES || length == WIDE_FONT_BYTES; }

// Where the pixel data starts when the file does not say: file header,
// information header and a two-entry colour table.
constexpr long SHEET_DATA_OFFSET = 62;

// Room for why a reader refuses its input: one line, without the file's
// name.
enum { REASON_SIZE = 128 };

struct input; // the input read forward, from a file or from memory

// glyphsheet's reader of a raw font, into the sheet of 64 x 128 or of
// 128 x 128 its length gives: 0, or -1 with errno set by the stream
// operation that failed, or 1 with `why` filled in for an input it
// refuses. A font that ends early is no failure: what it lacks is 0xFF.
int read_font(input &in, glyph_sheet &sheet, char why[REASON_SIZE]);

// Each writer puts a whole picture of the sheet into `out` and gives its
// length: black ink on white paper, a one-bit BMP, a one-bit PNG, raw PBM,
// PGM or PPM.
enum { MOST_WRITTEN = 3 * SHEET_MOST_WIDTH * SHEET_MOST_HEIGHT + 64 };
size_t write_sheet(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_png(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_pbm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_pgm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);
size_t write_ppm(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);

typedef size_t (*sheet_writer)(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN]);

// Whether more than half of the sheet's pixels, but not all, are ink: as
// a picture whose paper cannot be told by transparency, it would read
// back inverted.
bool mostly_ink(const glyph_sheet &sheet);

#endif
