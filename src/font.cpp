// The raw font as a file: 8 bytes a glyph, one byte a scanline from the
// top, the glyphs in code order; 128 of them, or 256 in a font of more
// than 1024 bytes. Where each stands on the sheet, place_of says.
#include "kinds.h"
#include "picture.h"

// The top scanline of glyph n, in the sheet's bits; each next one is a
// row of the sheet further on.
static size_t glyph_at(const glyph_sheet &sheet, unsigned n)
{
    glyph_place at = place_of(sheet, n);
    return 8 * size_t{at.row} * (sheet.width / 8) + at.column;
}

int read_font(input &in, glyph_sheet &sheet, char why[REASON_SIZE])
{
    // A picture here is most likely a sheet given to the wrong program; a
    // font may begin with any bytes, so only a sure sign counts.
    if (const file_kind *kind = kind_of_input(in, sureness::sure))
        return refuse(why, "%s, not a raw font", kind->name);
    unsigned char font[WIDE_FONT_BYTES];
    size_t got = next_bytes(in, font, sizeof font);
    if (in.failed)
        return -1;
    size_t length = got > FONT_BYTES ? WIDE_FONT_BYTES : FONT_BYTES;
    for (size_t i = got; i < length; i++)
        font[i] = 0xFF;
    sheet.width = length == FONT_BYTES ? 64 : 128;
    sheet.height = 128;
    sheet.ink = ink_from::bits;
    size_t row_bytes = sheet.width / 8;
    for (size_t n = 0; n < length / 8; n++) {
        size_t at = glyph_at(sheet, static_cast<unsigned>(n));
        for (size_t s = 0; s < 8; s++)
            sheet.bits[at + s * row_bytes] = font[8 * n + s];
    }
    return 0;
}

// The order of place_of, in loops that follow the sheet's rows: down each
// column on a sheet 8 glyphs wide, whose glyphs' scanlines are then every
// picture row in turn; along each row of glyphs on one 16 wide. The
// sheet's fields are held apart from the bytes stored, which might be
// taken to change them.
size_t write_font(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN])
{
    const unsigned char *bits = sheet.bits;
    const size_t height = sheet.height;
    size_t n = 0;
    if (sheet.width == 64) {
        for (size_t column = 0; column < 8; column++)
            for (size_t row = 0; row < height; row++)
                out[n++] = bits[row * 8 + column];
        return n;
    }
    for (size_t glyph_row = 0; glyph_row < height / 8; glyph_row++)
        for (size_t column = 0; column < 16; column++)
            for (size_t s = 0; s < 8; s++)
                out[n++] = bits[(8 * glyph_row + s) * 16 + column];
    return n;
}
