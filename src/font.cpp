// The raw font as a file: 128 glyphs of 8 bytes, one byte per scanline from
// the top, glyphs taken from the sheet column by column. Down one column,
// glyph after glyph and scanline after scanline is simply every picture row
// in turn.
#include "kinds.h"
#include "picture.h"

int read_font(FILE *in, glyph_sheet sheet, char why[REASON_SIZE])
{
    lookahead ahead;
    if (look_ahead(in, ahead) != 0)
        return -1;
    // A picture here is most likely a sheet given to the wrong program; a
    // font may begin with any bytes, so only a sure sign counts.
    if (const file_kind *kind = kind_of(first_bytes_of(ahead), sureness::sure)) {
        (void)snprintf(why, REASON_SIZE, "%s, not a raw font", kind->name);
        return 1;
    }
    for (int col = 0; col < SHEET_ROW_BYTES; col++)
        for (int row = 0; row < SHEET_ROWS; row++) {
            int c = next_byte(ahead);
            sheet[row * SHEET_ROW_BYTES + col] = c == EOF ? 0xFF : static_cast<unsigned char>(c);
        }
    return ferror(in) ? -1 : 0;
}

int write_font(const glyph_sheet sheet, FILE *out)
{
    unsigned char font[SHEET_BYTES];
    for (int col = 0; col < SHEET_ROW_BYTES; col++)
        for (int row = 0; row < SHEET_ROWS; row++)
            font[col * SHEET_ROWS + row] = sheet[row * SHEET_ROW_BYTES + col];
    return fwrite(font, 1, sizeof font, out) == sizeof font ? 0 : -1;
}
