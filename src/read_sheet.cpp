// Reads the pixel data of a 64 x 128 one-bit BMP into a glyph sheet.
#include "glyph_sheet.h"

int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

// A pipe or FIFO cannot seek; reading the header away gives the same sheet
// as seeking past it in a file. Returns the last byte read, EOF if the input
// ended or failed within the header.
static int skip_headers(FILE *in)
{
    if (fseek(in, SHEET_DATA_OFFSET, SEEK_SET) == 0)
        return 0;
    int c = 0;
    for (long i = 0; i < SHEET_DATA_OFFSET && c != EOF; i++)
        c = fgetc(in);
    return c;
}

int read_sheet(FILE *in, glyph_sheet sheet)
{
    int c = skip_headers(in);
    // The file holds the bottom picture row first, each byte with its
    // leftmost pixel in the top bit. Once the input has ended or failed,
    // nothing more is read: a terminal or pipe may deliver bytes later, but
    // the sheet ended there, and the rest of it is 0xFF.
    for (int row = SHEET_ROWS - 1; row >= 0; row--)
        for (int col = 0; col < SHEET_ROW_BYTES; col++) {
            if (c != EOF)
                c = fgetc(in);
            sheet[row * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(reverse_bits(c));
        }
    return ferror(in) ? -1 : 0;
}
