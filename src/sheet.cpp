// The font sheet as a file: a 64 x 128 one-bit BMP, the leftmost pixel of
// each byte in its top bit, and what its headers say. Also how any input
// is told to be a picture, which both programs ask.
#include <cstdint>

#include "glyph_sheet.h"

int reverse_bits(int v)
{
    v = ((v & 0x55) << 1) | ((v & 0xAA) >> 1);
    v = ((v & 0x33) << 2) | ((v & 0xCC) >> 2);
    return ((v << 4) | (v >> 4)) & 0xFF;
}

int look_ahead(FILE *in, lookahead &ahead)
{
    ahead.file = in;
    ahead.length = fread(ahead.start, 1, sizeof ahead.start, in);
    ahead.position = 0;
    ahead.ended = ahead.length < sizeof ahead.start;
    return ferror(in) ? -1 : 0;
}

// Reading only forward serves a pipe or FIFO as well as a file. Once the
// input has ended or failed, nothing more is read: a terminal or pipe may
// deliver bytes later, but the file ended there.
int next_byte(lookahead &ahead)
{
    if (ahead.position < ahead.length)
        return ahead.start[ahead.position++];
    if (ahead.ended)
        return EOF;
    int c = fgetc(ahead.file);
    ahead.position++;
    ahead.ended = c == EOF;
    return c;
}

static unsigned long le16(const unsigned char *p) { return p[0] | static_cast<unsigned long>(p[1]) << 8; }
static unsigned long le32(const unsigned char *p) { return le16(p) | le16(p + 2) << 16; }

// What a BMP's headers say that a sheet depends on.
struct bmp_info {
    unsigned long header_size; // the information header's
    unsigned long headers_end; // file header and information header
    unsigned long data_offset;
    long width, height; // height is negative where the top row comes first
    unsigned long bits, compression;
};

// The information headers BMP writers use: OS/2 1.x's core header, Windows'
// BITMAPINFOHEADER, its V2 and V3 extensions, OS/2 2.x's, V4 and V5.
static bool known_header_size(unsigned long size)
{
    switch (size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124: return true;
    default: return false;
    }
}

// A BMP is `BM` and a whole information header of a known size; anything
// less may as well be a raw sheet that happens to begin so.
static bool bmp_header(const lookahead &ahead, bmp_info &bmp)
{
    const unsigned char *b = ahead.start;
    if (ahead.length < 18 || b[0] != 'B' || b[1] != 'M')
        return false;
    bmp.header_size = le32(b + 14);
    bmp.headers_end = 14 + bmp.header_size;
    if (!known_header_size(bmp.header_size) || ahead.length < bmp.headers_end)
        return false;
    bmp.data_offset = le32(b + 10);
    if (bmp.header_size == 12) { // sizes unsigned, no compression
        bmp.width = static_cast<long>(le16(b + 18));
        bmp.height = static_cast<long>(le16(b + 20));
        bmp.bits = le16(b + 24);
        bmp.compression = 0;
    } else {
        bmp.width = static_cast<std::int32_t>(le32(b + 18));
        bmp.height = static_cast<std::int32_t>(le32(b + 22));
        bmp.bits = le16(b + 28);
        bmp.compression = le32(b + 30);
    }
    return true;
}

// Compression methods by number: Windows', and OS/2 2.x's, which differ
// from 3 on.
static const char *compression_name(const bmp_info &bmp)
{
    static const char *const windows[] = {"",
                                          "RLE8-compressed",
                                          "RLE4-compressed",
                                          "stored as bit fields",
                                          "JPEG-compressed",
                                          "PNG-compressed",
                                          "stored as bit fields"};
    static const char *const os2[] = {"", "RLE8-compressed", "RLE4-compressed", "Huffman-compressed",
                                      "RLE24-compressed"};
    if (bmp.header_size == 64)
        return bmp.compression < sizeof os2 / sizeof os2[0] ? os2[bmp.compression] : nullptr;
    return bmp.compression < sizeof windows / sizeof windows[0] ? windows[bmp.compression] : nullptr;
}

// Says why a BMP cannot be a sheet, if it cannot.
static bool refuse_bmp(const bmp_info &bmp, char why[REASON_SIZE])
{
    // Rows are counted the same whichever comes first; -2^31 has no
    // positive long.
    unsigned long rows =
        bmp.height < 0 ? 0UL - static_cast<unsigned long>(bmp.height) : static_cast<unsigned long>(bmp.height);
    const char *method = compression_name(bmp);
    if (bmp.data_offset < bmp.headers_end)
        (void)snprintf(why, REASON_SIZE, "pixel data at byte %lu, inside the headers", bmp.data_offset);
    else if (bmp.width != 64 || rows != 128)
        (void)snprintf(why, REASON_SIZE, "%ld x %lu pixels; a sheet is 64 x 128", bmp.width, rows);
    else if (bmp.compression != 0 && method != nullptr)
        (void)snprintf(why, REASON_SIZE, "%s; a sheet is uncompressed", method);
    else if (bmp.compression != 0)
        (void)snprintf(why, REASON_SIZE, "compressed by method %lu; a sheet is uncompressed", bmp.compression);
    else if (bmp.bits != 1)
        (void)snprintf(why, REASON_SIZE, "%lu bits per pixel; a sheet has 1", bmp.bits);
    else
        return false;
    return true;
}

const char *picture_kind(const lookahead &ahead)
{
    // '?' stands for any byte.
    static const struct {
        const char *kind;
        const char *signature;
        unsigned long length;
    } pictures[] = {
        {"PNG", "\x89PNG\r\n\x1a\n", 8}, {"GIF", "GIF87a", 6}, {"GIF", "GIF89a", 6},
        {"JPEG", "\xFF\xD8\xFF", 3},     {"TIFF", "II*\0", 4}, {"TIFF", "MM\0*", 4},
        {"WebP", "RIFF????WEBP", 12},
    };
    bmp_info bmp;
    if (bmp_header(ahead, bmp))
        return "BMP";
    for (const auto &p : pictures) {
        bool match = ahead.length >= p.length;
        for (unsigned long i = 0; match && i < p.length; i++)
            match = p.signature[i] == '?' || static_cast<unsigned char>(p.signature[i]) == ahead.start[i];
        if (match)
            return p.kind;
    }
    return nullptr;
}

int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE])
{
    lookahead ahead;
    if (look_ahead(in, ahead) != 0)
        return -1;
    bmp_info bmp;
    unsigned long offset = SHEET_DATA_OFFSET;
    bool top_down = false;
    if (bmp_header(ahead, bmp)) {
        if (refuse_bmp(bmp, why))
            return 1;
        offset = bmp.data_offset;
        top_down = bmp.height < 0;
    } else if (const char *kind = picture_kind(ahead)) {
        (void)snprintf(why, REASON_SIZE, "a %s picture; a sheet is a one-bit BMP", kind);
        return 1;
    }

    int c = 0;
    while (ahead.position < offset && c != EOF)
        c = next_byte(ahead);
    for (int k = 0; k < SHEET_ROWS; k++) {
        int row = top_down ? k : SHEET_ROWS - 1 - k;
        for (int col = 0; col < SHEET_ROW_BYTES; col++)
            sheet[row * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(reverse_bits(next_byte(ahead)));
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
