// Reads the pixel data of a 64 x 128 one-bit BMP into a glyph sheet.
#include "glyph_sheet.h"

int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

// Once the stream has met its end or an error, nothing more is read: a pipe
// or a terminal may still deliver bytes, but the sheet ended there.
static int next_byte(FILE *in)
{
    if (feof(in) || ferror(in))
        return EOF;
    return fgetc(in);
}

// A pipe or FIFO cannot seek; reading the header away gives the same sheet
// as seeking past it in a file.
static void skip_headers(FILE *in)
{
    if (fseek(in, SHEET_DATA_OFFSET, SEEK_SET) == 0)
        return;
    for (long i = 0; i < SHEET_DATA_OFFSET; i++)
        (void)next_byte(in);
}

int read_sheet(FILE *in, glyph_sheet sheet)
{
    skip_headers(in);
    // The file holds the bottom picture row first, each byte with its
    // leftmost pixel in the top bit.
    for (int row = SHEET_ROWS - 1; row >= 0; row--) {
        unsigned char *entry = sheet + row * SHEET_ROW_BYTES;
        for (int col = 0; col < SHEET_ROW_BYTES; col++)
            entry[col] = static_cast<unsigned char>(reverse_bits(next_byte(in)));
    }
    return ferror(in) ? -1 : 0;
}
