// The raw font as a file: 128 glyphs of 8 bytes, one byte per scanline from
// the top, glyphs taken from the sheet column by column. Down one column,
// glyph after glyph and scanline after scanline is simply every picture row
// in turn.
#include "glyph_sheet.h"

int read_font(FILE *in, glyph_sheet sheet)
{
    // As with a sheet, nothing more is read once the input has ended or
    // failed, and the rest of the font is 0xFF.
    int c = 0;
    for (int col = 0; col < SHEET_ROW_BYTES; col++)
        for (int row = 0; row < SHEET_ROWS; row++) {
            if (c != EOF)
                c = fgetc(in);
            sheet[row * SHEET_ROW_BYTES + col] = c == EOF ? 0xFF : static_cast<unsigned char>(c);
        }
    return ferror(in) ? -1 : 0;
}

int write_font(const glyph_sheet sheet, FILE *out)
{
    for (int col = 0; col < SHEET_ROW_BYTES; col++)
        for (int row = 0; row < SHEET_ROWS; row++)
            if (fputc(sheet[row * SHEET_ROW_BYTES + col], out) == EOF)
                return -1;
    return 0;
}
