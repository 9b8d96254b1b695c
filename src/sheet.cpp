// The font sheet as a file: a 64 x 128 one-bit BMP, bottom picture row
// first, the leftmost pixel of each byte in its top bit.
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
    // Once the input has ended or failed, nothing more is read: a terminal
    // or pipe may deliver bytes later, but the sheet ended there, and the
    // rest of it is 0xFF.
    for (int row = SHEET_ROWS - 1; row >= 0; row--)
        for (int col = 0; col < SHEET_ROW_BYTES; col++) {
            if (c != EOF)
                c = fgetc(in);
            sheet[row * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(reverse_bits(c));
        }
    return ferror(in) ? -1 : 0;
}

// What a paint program writes for a 64 x 128 one-bit picture. Colour 0 is
// white and colour 1 black, so 1 bits show as ink on paper in any viewer,
// and an editor that keeps the table writes ink back as 1 bits.
// clang-format off
static const unsigned char sheet_header[SHEET_DATA_OFFSET] = {
    'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 0x3E, 0, 0, 0, // signature, file size 1086, pixel data at 62
    40, 0, 0, 0, 64, 0, 0, 0, 128, 0, 0, 0,              // header size, width 64, height 128 bottom row first
    1, 0, 1, 0, 0, 0, 0, 0, 0x00, 0x04, 0, 0,            // 1 plane, 1 bit, no compression, 1024 pixel bytes
    0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,                  // 2835 pixels per metre (72 dpi) both ways
    2, 0, 0, 0, 2, 0, 0, 0,                              // 2 colours, both important
    0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0,                     // colour 0 white, colour 1 black
};
// clang-format on

int write_sheet(const glyph_sheet sheet, FILE *out)
{
    if (fwrite(sheet_header, 1, sizeof sheet_header, out) != sizeof sheet_header)
        return -1;
    for (int row = SHEET_ROWS - 1; row >= 0; row--)
        for (int col = 0; col < SHEET_ROW_BYTES; col++)
            if (fputc(reverse_bits(sheet[row * SHEET_ROW_BYTES + col]), out) == EOF)
                return -1;
    return 0;
}
