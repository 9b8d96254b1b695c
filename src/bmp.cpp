// BMP: every depth and layout a paint program writes, read into the
// planes, and the one-bit sheet glyphsheet writes. A one-bit BMP's bits are taken
// by value, whatever its colour table says; every other depth by how its
// pixels look.
#include <cstring>

#include "picture.h"

// What a BMP's headers say that reading it depends on.
struct bmp_info {
    std::uint32_t header_size; // the information header's
    std::uint32_t headers_end; // file header and information header
    std::uint32_t data_offset;
    std::int32_t width, height; // height is negative where the top row comes first
    std::uint32_t bits, compression, colours_used;
    std::uint32_t masks[4]; // red, green, blue and alpha, where the header has them
    unsigned rows;          // the height, whichever row comes first
};

// The information headers BMP writers use: OS/2 1.x's core header, OS/2
// 2.x's of any length from 16 to 64 bytes (of which Windows' 40-byte
// BITMAPINFOHEADER and its 52- and 56-byte extensions are three), V4 and V5.
static bool known_header_size(std::uint32_t size)
{
    return size == 12 || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

// OS/2 2.x's header gives compression methods 3 and 4 meanings of its own.
static bool is_os2(std::uint32_t size) { return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56; }

// A BMP is `BM` and the size of a known information header; anything less
// may as well be a raw sheet that happens to begin so.
bool is_bmp(const unsigned char *start, size_t length)
{
    return length >= 18 && start[0] == 'B' && start[1] == 'M' && known_header_size(le32(start + 14));
}

// False if the input ends inside the headers. A header shorter than 64
// bytes has the fields it has, the rest 0.
static bool bmp_fields(const input &in, bmp_info &bmp)
{
    first_bytes first = first_bytes_of(in);
    unsigned char b[14 + 64] = {0};
    bmp.header_size = le32(first.start + 14);
    bmp.headers_end = 14 + bmp.header_size;
    if (first.length < bmp.headers_end)
        return false;
    memcpy(b, first.start, bmp.headers_end < sizeof b ? bmp.headers_end : sizeof b);
    bmp.data_offset = le32(b + 10);
    if (bmp.header_size == 12) { // sizes unsigned, no compression
        bmp.width = static_cast<std::int32_t>(le16(b + 18));
        bmp.height = static_cast<std::int32_t>(le16(b + 20));
        bmp.bits = le16(b + 24);
        bmp.compression = 0;
        bmp.colours_used = 0;
    } else {
        bmp.width = static_cast<std::int32_t>(le32(b + 18));
        bmp.height = static_cast<std::int32_t>(le32(b + 22));
        bmp.bits = le16(b + 28);
        bmp.compression = le32(b + 30);
        bmp.colours_used = le32(b + 46);
    }
    for (size_t i = 0; i < 4; i++)
        bmp.masks[i] = le32(b + 54 + 4 * i);
    // Rows are counted the same whichever comes first; -2^31 has no
    // positive 32-bit value.
    bmp.rows = bmp.height < 0 ? 0U - static_cast<std::uint32_t>(bmp.height) : static_cast<std::uint32_t>(bmp.height);
    return true;
}

enum { BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_JPEG, BI_PNG, BI_ALPHABITFIELDS };

static const char ends_early[] = "a damaged BMP: it ends before its last pixel";
static const char ends_in_headers[] = "a damaged BMP: it ends inside its headers";

// Says why a BMP's depth and compression cannot be read, if they cannot:
// 0, or 1 with `why` filled in.
static int refuse_method(const bmp_info &bmp, char why[REASON_SIZE])
{
    static const char *const windows[] = {"", "", "", "", "JPEG", "", ""};
    static const char *const os2[] = {"", "", "", "Huffman", "RLE24"};
    bool os2_header = is_os2(bmp.header_size);
    const char *const *names = os2_header ? os2 : windows;
    std::uint32_t methods = os2_header ? 5 : 7;
    const char *name = bmp.compression < methods ? names[bmp.compression] : nullptr;
    unsigned long c = bmp.compression, bits = bmp.bits;
    if (c == BI_PNG && !os2_header)
        return 0; // the PNG says its own depth
    if (name == nullptr)
        return refuse(why, "a BMP compressed by method %lu; save the sheet as PNG or uncompressed BMP", c);
    if (*name != '\0')
        return refuse(why, "a BMP compressed as %s; save the sheet as PNG or uncompressed BMP", name);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse(why, "a BMP of %lu bits per pixel; save the sheet as PNG or as a BMP of 1, 4, 8, 16, 24 or 32",
                      bits);
    if ((c == BI_RLE8 && bits != 8) || (c == BI_RLE4 && bits != 4) ||
        ((c == BI_BITFIELDS || c == BI_ALPHABITFIELDS) && bits != 16 && bits != 32))
        return refuse(why, "a damaged BMP: compression method %lu with %lu-bit pixels", c, bits);
    return 0;
}

// Says why a BMP cannot be read, if it cannot, and fits the layout told to
// its size: 0, or 1 with `why` filled in.
static int refuse_bmp(const bmp_info &bmp, const told &t, ink &k, char why[REASON_SIZE])
{
    unsigned long offset = bmp.data_offset;
    if (bmp.data_offset < bmp.headers_end)
        return refuse(why, "pixel data at byte %lu, inside the headers", offset);
    if (bmp.data_offset - bmp.headers_end > 65536)
        return refuse(why, "pixel data at byte %lu, more than 64 KiB past the headers", offset);
    if (bmp.width < 0)
        return refuse_size(why, bmp.width, bmp.rows);
    if (bmp.compression != BI_PNG && fit_ink(k, t, static_cast<unsigned>(bmp.width), bmp.rows, why) != 0)
        return 1;
    return refuse_method(bmp, why);
}

// How a BMP of more than one bit gives colours: a colour table for 4 and 8
// bits, bit fields for 16 and 32 (red, green, blue, alpha), bytes for 24.
struct bmp_colours {
    value_colours table;
    unsigned entries;
    bit_field fields[4];
    field_inks field_tables; // where the fields are of 8 bits or fewer
    bool by_tables;
    sample_places whole_bytes; // where 32-bit fields are whole bytes
};

// Reads the bit fields' masks, from the information header or the 12 or 16
// bytes after a 40-byte one; `end` is where the headers end. 0, or 1 with
// `why` filled in.
static int read_masks(input &in, const bmp_info &bmp, std::uint64_t &end, bmp_colours &colours, char why[REASON_SIZE])
{
    static const std::uint32_t sixteen[4] = {0x7C00, 0x03E0, 0x001F, 0},
                               thirty_two[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const std::uint32_t *mask = bmp.bits == 16 ? sixteen : thirty_two;
    std::uint32_t stored[4] = {0, 0, 0, 0};
    if (bmp.compression == BI_BITFIELDS || bmp.compression == BI_ALPHABITFIELDS) {
        // Red, green and blue, and alpha where there is room for it.
        bool alpha = bmp.header_size == 40 ? bmp.compression == BI_ALPHABITFIELDS : bmp.header_size >= 56;
        size_t count = alpha ? 4 : 3;
        memcpy(stored, bmp.masks, count * sizeof stored[0]);
        if (bmp.header_size == 40) {
            unsigned char masks[16];
            end += 4 * count;
            if (end > bmp.data_offset)
                return refuse(why, "a damaged BMP: its bit fields run into the pixel data");
            if (next_bytes(in, masks, 4 * count) != 4 * count)
                return refuse(why, ends_in_headers);
            for (size_t i = 0; i < count; i++)
                stored[i] = le32(masks + 4 * i);
        }
        mask = stored;
    }
    for (size_t i = 0; i < 4; i++)
        if (!make_field(mask[i], colours.fields[i]))
            return refuse(why, "a damaged BMP: a bit field mask with a gap in it");
    colours.by_tables = make_field_inks(colours.fields, colours.field_tables);
    const bit_field *f = colours.fields;
    colours.whole_bytes = {4, f[0].shift / 8, f[1].shift / 8, f[2].shift / 8, f[3].shift / 8, f[3].mask != 0};
    return 0;
}

// The colour table's entries that stand before the pixel data, of at most
// `most`: how many, and of how many bytes each.
static unsigned table_entries(const bmp_info &bmp, std::uint64_t end, std::uint32_t most, std::uint32_t &size)
{
    size = bmp.header_size == 12 ? 3 : 4;
    std::uint64_t room = (bmp.data_offset - end) / size;
    unsigned entries = bmp.colours_used == 0 || bmp.colours_used > most ? most : bmp.colours_used;
    return room < entries ? static_cast<unsigned>(room) : entries;
}

// Reads the colour table of a picture of 8 bits or fewer, no more of it
// than stands before the pixel data.
static int read_table(input &in, const bmp_info &bmp, std::uint64_t &end, bmp_colours &colours, char why[REASON_SIZE])
{
    std::uint32_t size = 0;
    colours.entries = table_entries(bmp, end, 1U << bmp.bits, size);
    static unsigned char table[256 * 4]; // blue, green, red and for 4-byte entries another
    size_t bytes = size_t{size} * colours.entries;
    if (next_bytes(in, table, bytes) != bytes)
        return refuse(why, ends_early);
    end += bytes;
    for (unsigned i = 0; i < 256; i++) {
        const unsigned char *e = table + size_t{size} * i;
        if (i < colours.entries)
            set_colour(colours.table, i, e[2], e[1], e[0], 255);
        else
            set_no_colour(colours.table, i);
    }
    if (bmp.bits == 4)
        pack_colours(colours.table, 4);
    return 0;
}

// Reads how the pixels give colours, and leaves the input at the pixel
// data.
static int read_colours(input &in, const bmp_info &bmp, bmp_colours &colours, char why[REASON_SIZE])
{
    std::uint64_t end = bmp.headers_end;
    colours.entries = 0;
    if (!skip_bytes(in, end))
        return refuse(why, ends_in_headers);
    if (bmp.bits <= 8 ? read_table(in, bmp, end, colours, why) : read_masks(in, bmp, end, colours, why))
        return 1;
    if (!skip_bytes(in, bmp.data_offset - end))
        return refuse(why, ends_early);
    return 0;
}

// The colours of a one-bit picture's 0 and 1, for a choice other than the
// rule, from as much of its table as stands before the pixel data; where
// the file lacks them, glyphsheet's white and black. Its bits are read by
// value whatever they are.
static void read_two_colours(input &in, const bmp_info &bmp, ink &k)
{
    static const unsigned char white_black[2][4] = {{255, 255, 255, 255}, {0, 0, 0, 255}};
    memcpy(k.bit_colours, white_black, sizeof white_black);
    std::uint32_t size = 0;
    unsigned entries = table_entries(bmp, bmp.headers_end, 2, size);
    unsigned char e[4];
    if (!skip_bytes(in, bmp.headers_end))
        return;
    for (unsigned i = 0; i < entries && next_bytes(in, e, size) == size; i++) {
        const unsigned char rgba[4] = {e[2], e[1], e[0], 255};
        memcpy(k.bit_colours[i], rgba, 4);
    }
}

// Refuses a colour index past the colour table.
static int past_table(unsigned index, const bmp_colours &c, char why[REASON_SIZE])
{
    return refuse(why, "a damaged BMP: colour %u past a colour table of %u", index, c.entries);
}

// Inks a row of bit fields of more than 8 bits each, pixel by pixel.
static void ink_wide_fields(ink &k, unsigned y, const unsigned char *p, const bmp_info &bmp, const bmp_colours &c)
{
    for (size_t x = 0; x < k.width; x++) {
        std::uint32_t v = bmp.bits == 16 ? le16(p + 2 * x) : le32(p + 4 * x);
        unsigned char rgba[4];
        for (size_t i = 0; i < 4; i++) {
            const bit_field &f = c.fields[i];
            rgba[i] = static_cast<unsigned char>(f.mask == 0 ? (i == 3 ? 255 : 0)
                                                             : to_8_bits((v & f.mask) >> f.shift, f.max));
        }
        put_pixel(k, x, y, rgba);
    }
    pixels_put(k, y);
}

// Whether 32-bit fields are whole bytes of 8 bits, as most writers' are.
static bool byte_fields(const bmp_info &bmp, const bit_field f[4])
{
    return bmp.bits == 32 && f[0].max == 255 && f[1].max == 255 && f[2].max == 255 && f[0].shift % 8 == 0 &&
           f[1].shift % 8 == 0 && f[2].shift % 8 == 0 && (f[3].max == 255 || f[3].mask == 0) && f[3].shift % 8 == 0;
}

// Inks one row of uncompressed pixels as they stand in the file: blue,
// green and red bytes at 24 bits, colour indices at 8 bits or fewer, bit
// fields otherwise, whole bytes as such.
static int ink_row(ink &k, unsigned y, const unsigned char *p, const bmp_info &bmp, const bmp_colours &c,
                   char why[REASON_SIZE])
{
    static const sample_places bgr = {3, 2, 1, 0, 0, false};
    const bit_field *f = c.fields;
    unsigned bad = 0;
    if (bmp.bits == 24) {
        ink_colours(k, y, p, bgr);
    } else if (bmp.bits <= 8) {
        if ((bmp.bits == 4 ? ink_packed(k, y, p, 4, c.table, bad) : ink_values(k, y, p, c.table, bad)) != 0)
            return past_table(bad, c, why);
    } else if (byte_fields(bmp, f)) {
        ink_colours(k, y, p, c.whole_bytes);
    } else if (c.by_tables) {
        ink_fields(k, y, p, bmp.bits / 8, c.field_tables);
    } else {
        ink_wide_fields(k, y, p, bmp, c);
    }
    return 0;
}

// A row's bytes in the file: its pixels, padded to a 32-bit word.
static size_t stride_of(const bmp_info &bmp)
{
    return (size_t{bmp.bits} * static_cast<unsigned>(bmp.width) + 31) / 32 * 4;
}

// Inks each row where it stands in the input.
static int read_rows(input &in, const bmp_info &bmp, const bmp_colours &colours, ink &k, char why[REASON_SIZE])
{
    size_t stride = stride_of(bmp);
    for (unsigned n = 0; n < k.height; n++) {
        const unsigned char *row = take(in, stride);
        if (row == nullptr)
            return refuse(why, ends_early);
        unsigned y = bmp.height < 0 ? n : k.height - 1 - n;
        if (ink_row(k, y, row, bmp, colours, why) != 0)
            return 1;
    }
    return 0;
}

// RLE8 and RLE4 decoded into colour indices a row at a time, rows as the
// file counts them; the stream only goes forward, so that a row is done
// once the stream is past it. Pixels the stream skips keep colour 0, as
// Windows draws them.
struct runs {
    bool rle4;
    unsigned x, y, width, height;
    unsigned done; // rows inked
    unsigned char row[MOST_SIDE];
    input *in;
    ink *k;
    const bmp_info *bmp;
    const bmp_colours *colours;
};

static const char past_edge[] = "a damaged BMP: its compressed pixels run past the picture's edge";

// Inks the rows before row `to`: the one decoded, then any skipped.
static int rows_done(runs &r, unsigned to, char why[REASON_SIZE])
{
    for (; r.done < to && r.done < r.height; r.done++) {
        unsigned y = r.bmp->height < 0 ? r.done : r.height - 1 - r.done, bad = 0;
        if (ink_values(*r.k, y, r.row, r.colours->table, bad) != 0)
            return past_table(bad, *r.colours, why);
        memset(r.row, 0, r.width);
    }
    return 0;
}

// `n` pixels: one index repeated (two alternating in RLE4) or, `absolute`,
// the indices as stored.
static int put_pixels(runs &r, const unsigned char *stored, unsigned n, bool absolute, char why[REASON_SIZE])
{
    if (r.x + n > r.width || r.y >= r.height)
        return refuse(why, past_edge);
    unsigned char *at = r.row + r.x;
    r.x += n;
    if (!r.rle4) {
        if (absolute)
            memcpy(at, stored, n);
        else
            memset(at, stored[0], n);
        return 0;
    }
    for (unsigned i = 0; i < n; i++) {
        unsigned char b = stored[absolute ? i / 2 : 0];
        at[i] = static_cast<unsigned char>(i % 2 == 0 ? b >> 4 : b & 0x0F);
    }
    return 0;
}

// What a count of 0 introduces: the end of a row (0), of the picture (1),
// a move (2), or that many indices as stored, padded to a 16-bit word.
// 0, 1 with `why` filled in, or 2 at the end of the picture.
static int escape(runs &r, int value, char why[REASON_SIZE])
{
    if (value == 1)
        return 2;
    if (value == 0) {
        r.x = 0;
        if (++r.y > r.height)
            return refuse(why, past_edge);
        return rows_done(r, r.y, why);
    }
    if (value == 2) {
        int dx = next_byte(*r.in), dy = next_byte(*r.in);
        if (dy == EOF)
            return refuse(why, ends_early);
        r.x += static_cast<unsigned>(dx);
        r.y += static_cast<unsigned>(dy);
        if (r.x > r.width || r.y > r.height)
            return refuse(why, past_edge);
        return rows_done(r, r.y, why);
    }
    auto n = static_cast<unsigned>(value);
    unsigned char stored[256] = {0};
    size_t bytes = r.rle4 ? (n + 1) / 2 : n, padded = bytes + bytes % 2;
    if (next_bytes(*r.in, stored, padded) != padded)
        return refuse(why, ends_early);
    return put_pixels(r, stored, n, true, why);
}

static int run_lengths(runs &r, char why[REASON_SIZE])
{
    input &in = *r.in;
    for (;;) {
        int count = next_byte(in), value = next_byte(in);
        // Every pixel has come, and only the end-of-bitmap mark, or the
        // end of the last row and that mark, are missing.
        bool whole = r.y == r.height || (r.y == r.height - 1 && r.x == r.width);
        if (count == EOF && whole)
            return 0;
        if (value == EOF)
            return refuse(why, ends_early);
        auto stored = static_cast<unsigned char>(value);
        auto n = static_cast<unsigned>(count);
        // A run of RLE8, most of a drawing's packets, short, right here.
        if (count > 0 && !r.rle4 && r.x + n <= r.width && r.y < r.height) {
            memset(r.row + r.x, stored, n);
            r.x += n;
            continue;
        }
        int done = count == 0 ? escape(r, value, why) : put_pixels(r, &stored, n, false, why);
        if (done != 0)
            return done == 2 ? 0 : 1;
    }
}

static int read_run_lengths(input &in, const bmp_info &bmp, const bmp_colours &colours, ink &k, char why[REASON_SIZE])
{
    static runs r;
    r.rle4 = bmp.compression == BI_RLE4;
    r.x = r.y = r.done = 0;
    r.width = k.width;
    r.height = k.height;
    r.in = &in;
    r.k = &k;
    r.bmp = &bmp;
    r.colours = &colours;
    memset(r.row, 0, r.width);
    int status = run_lengths(r, why) != 0 ? 1 : rows_done(r, r.height, why);
    // The row stays, for the next picture; nothing of this call does.
    r.in = nullptr;
    r.k = nullptr;
    r.bmp = nullptr;
    r.colours = nullptr;
    return status;
}

int read_bmp(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    bmp_info bmp;
    if (!bmp_fields(in, bmp))
        return refuse(why, ends_in_headers);
    if (refuse_bmp(bmp, t, k, why) != 0)
        return 1;
    if (bmp.compression == BI_PNG) { // a whole PNG as the pixel data, as Java's ImageIO writes
        if (!skip_bytes(in, bmp.data_offset))
            return refuse(why, ends_early);
        return read_png(in, t, k, why);
    }
    // Many writers leave a 32-bit BMP's fourth byte 0 in every pixel.
    start_ink(k, true);
    if (bmp.bits == 1) {
        read_two_colours(in, bmp, k);
        read_one_bit(in, bmp.data_offset, k, stride_of(bmp), bmp.height < 0);
        return 0;
    }
    static bmp_colours colours;
    if (read_colours(in, bmp, colours, why) != 0)
        return 1;
    bool runs = bmp.compression == BI_RLE8 || bmp.compression == BI_RLE4;
    return (runs ? read_run_lengths : read_rows)(in, bmp, colours, k, why);
}

// What a paint program writes for a one-bit picture: a 62-byte header,
// then the rows bottom first. Colour 0 is white and colour 1 black, so 1
// bits show as ink on paper in any viewer, and an editor that keeps the
// table writes ink back as 1 bits.
size_t write_sheet(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN])
{
    // clang-format off
    static const unsigned char header[SHEET_DATA_OFFSET] = {
        'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0x3E, 0, 0, 0, // signature, file size, pixel data at 62
        40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,             // header size, width, height bottom row first
        1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,              // 1 plane, 1 bit, no compression, pixel bytes
        0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,              // 2835 pixels per metre (72 dpi) both ways
        2, 0, 0, 0, 2, 0, 0, 0,                          // 2 colours, both important
        0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0,                 // colour 0 white, colour 1 black
    };
    // clang-format on
    size_t row_bytes = sheet.width / 8, pixels = row_bytes * sheet.height, size = sizeof header + pixels;
    memcpy(out, header, sizeof header);
    const struct {
        size_t at;
        std::uint32_t value;
    } fields[] = {{2, static_cast<std::uint32_t>(size)},
                  {18, sheet.width},
                  {22, sheet.height},
                  {34, static_cast<std::uint32_t>(pixels)}};
    for (const auto &f : fields)
        for (size_t i = 0; i < 4; i++)
            out[f.at + i] = static_cast<unsigned char>(f.value >> (8 * i));
    unsigned char *p = out + sizeof header;
    for (size_t row = sheet.height; row-- > 0;)
        for (size_t col = 0; col < row_bytes; col++)
            *p++ = static_cast<unsigned char>(reverse_bits(sheet.bits[row * row_bytes + col]));
    return size;
}
