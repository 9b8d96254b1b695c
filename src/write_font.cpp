// Writes a glyph sheet as a raw font of 128 glyphs, 8 bytes each.
#include "glyph_sheet.h"

int write_font(const glyph_sheet sheet, FILE *out)
{
    // Glyphs go column by column; down one column, glyph after glyph and
    // scanline after scanline is simply every picture row in turn.
    for (int col = 0; col < SHEET_ROW_BYTES; col++)
        for (int row = 0; row < SHEET_ROWS; row++)
            if (fputc(sheet[row * SHEET_ROW_BYTES + col], out) == EOF)
                return -1;
    return 0;
}
