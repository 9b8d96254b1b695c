// PNG: every colour type and bit depth, interlaced or not, transparency
// from an alpha channel or a tRNS chunk. The chunks, their CRCs, the
// filters and the interlacing are read here; zlib only inflates. Colours
// are taken as stored: gamma, chromaticities, ICC profiles and background
// are not applied.
#include <cstring>

#include <zlib.h>

#include "picture.h"

namespace {

// The filtered picture at its largest, 16-bit RGBA in seven interlaced
// passes: 8 bytes a pixel and a filter byte for each of the passes' 240
// rows.
enum { MOST_FILTERED = PICTURE_WIDTH * PICTURE_HEIGHT * 8 + 240 };

// zlib's allocations, from a static arena: its inflate state and a 32 KiB
// window, once per run.
alignas(16) unsigned char arena[64 * 1024];
size_t arena_used;

void *arena_alloc(void * /*opaque*/, unsigned items, unsigned size)
{
    size_t n = (static_cast<size_t>(items) * size + 15) / 16 * 16;
    if (items > sizeof arena || size > sizeof arena || n > sizeof arena - arena_used)
        return Z_NULL;
    void *p = arena + arena_used;
    arena_used += n;
    return p;
}

void arena_free(void * /*opaque*/, void * /*p*/) {}

// Under a fuzzer a chunk's CRC is taken as right: its mutations would
// almost never pass the check, and what follows it would go unfuzzed.
#ifdef GLYPHRIP_FUZZING
constexpr bool check_crc = false;
#else
constexpr bool check_crc = true;
#endif

std::uint32_t be32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

struct png {
    lookahead *in;
    char *why;
    std::uint32_t depth, colour_type, interlace, channels;
    unsigned char palette[256][4]; // red, green, blue, alpha
    unsigned palette_size;
    bool keyed;           // a tRNS chunk gives a colour that is transparent
    std::uint32_t key[3]; // grey, or red, green and blue, at the picture's depth
    z_stream z;
    size_t filtered_size;      // what the picture's header says inflating gives
    bool idat_seen, idat_over; // IDAT chunks have begun, and ended
    bool inflated, broken;     // all the picture's bytes are there, or cannot be
    unsigned char zlib_header[2];
    unsigned zlib_header_seen;
};

unsigned char filtered[MOST_FILTERED];

int refuse(png &p, const char *what)
{
    (void)snprintf(p.why, REASON_SIZE, "a damaged PNG: %s", what);
    return 1;
}

// Where the pixels of one interlaced pass stand, from (x0, y0) every dx
// across and dy down, and how many there are each way; pass -1 is the
// whole picture.
struct pass_shape {
    unsigned x0, y0, dx, dy, width, height;
};

pass_shape shape_of(int pass)
{
    static const unsigned adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    pass_shape s = {0, 0, 1, 1, PICTURE_WIDTH, PICTURE_HEIGHT};
    if (pass >= 0) {
        const unsigned *a = adam7[pass];
        s = {a[0],
             a[1],
             a[2],
             a[3],
             (PICTURE_WIDTH - a[0] + a[2] - 1) / a[2],
             (PICTURE_HEIGHT - a[1] + a[3] - 1) / a[3]};
    }
    return s;
}

size_t row_bytes(const png &p, unsigned width) { return (width * p.channels * p.depth + 7) / 8; }

int read_header(png &p, const unsigned char *d)
{
    static const struct {
        std::uint32_t colour_type, channels, depths; // depths as a set of bits
    } types[] = {{0, 1, 1 | 2 | 4 | 8 | 16}, {2, 3, 8 | 16}, {3, 1, 1 | 2 | 4 | 8}, {4, 2, 8 | 16}, {6, 4, 8 | 16}};
    std::uint32_t width = be32(d), height = be32(d + 4);
    p.depth = d[8];
    p.colour_type = d[9];
    p.interlace = d[12];
    p.channels = 0;
    for (const auto &t : types)
        if (t.colour_type == p.colour_type && (p.depth & (p.depth - 1)) == 0 && (t.depths & p.depth) != 0)
            p.channels = t.channels;
    if (p.channels == 0) {
        (void)snprintf(p.why, REASON_SIZE, "a damaged PNG: bit depth %u with colour type %u, which PNG does not have",
                       static_cast<unsigned>(p.depth), static_cast<unsigned>(p.colour_type));
        return 1;
    }
    if (d[10] != 0 || d[11] != 0 || p.interlace > 1)
        return refuse(p, "a compression, filter or interlace method PNG does not have");
    if (width != PICTURE_WIDTH || height != PICTURE_HEIGHT)
        return refuse_size(p.why, width, height);
    p.filtered_size = 0;
    for (int pass = p.interlace ? 0 : -1; pass < (p.interlace ? 7 : 0); pass++) {
        pass_shape s = shape_of(pass);
        p.filtered_size += s.height * (1 + row_bytes(p, s.width));
    }
    p.z.next_out = filtered;
    p.z.avail_out = static_cast<uInt>(p.filtered_size);
    return 0;
}

int read_palette(png &p, const unsigned char *d, std::uint32_t length)
{
    if (length % 3 != 0 || length > 3 * 256 || length == 0)
        return refuse(p, "a PLTE chunk that is no whole palette");
    p.palette_size = length / 3;
    for (unsigned i = 0; i < p.palette_size; i++) {
        memcpy(p.palette[i], d + size_t{3} * i, 3);
        p.palette[i][3] = 255;
    }
    return 0;
}

int read_transparency(png &p, const unsigned char *d, std::uint32_t length)
{
    if (p.colour_type == 3) {
        if (length > p.palette_size)
            return refuse(p, "a tRNS chunk longer than the palette");
        for (unsigned i = 0; i < length; i++)
            p.palette[i][3] = d[i];
    } else if (p.colour_type == 0 || p.colour_type == 2) {
        if (length != 2 * p.channels)
            return refuse(p, "a tRNS chunk of the wrong length");
        p.keyed = true;
        for (size_t i = 0; i < p.channels; i++)
            p.key[i] = static_cast<std::uint32_t>(d[2 * i]) << 8 | d[2 * i + 1];
    }
    // A picture with an alpha channel has no use for one.
    return 0;
}

// Inflates one piece of the IDAT stream into `filtered`, until the
// picture's bytes are all there; what follows them is not needed.
// The stream's two-byte zlib header is checked here and the deflate data
// inflated raw: the stream's own checksum, at its very end, would come
// after the bytes needed, each chunk's CRC already vouches for the data,
// and zlib would spend a tenth of the run computing it.
void inflate_piece(png &p, unsigned char *data, size_t length)
{
    for (; length > 0 && p.zlib_header_seen < 2; length--, data++)
        p.zlib_header[p.zlib_header_seen++] = *data;
    if (p.zlib_header_seen < 2 || p.inflated || p.broken)
        return;
    unsigned method = p.zlib_header[0], flags = p.zlib_header[1];
    // Deflate, a window of at most 32 KiB, no preset dictionary.
    if ((method & 0x0F) != 8 || method >> 4 > 7 || (method * 256 + flags) % 31 != 0 || (flags & 0x20) != 0) {
        p.broken = true;
        return;
    }
    p.z.next_in = data;
    p.z.avail_in = static_cast<uInt>(length);
    while (p.z.avail_in > 0 && !p.inflated && !p.broken) {
        int status = inflate(&p.z, Z_NO_FLUSH);
        p.inflated = status == Z_STREAM_END || p.z.avail_out == 0;
        p.broken = !p.inflated && status != Z_OK;
    }
}

bool is_type(const unsigned char type[4], const char *name) { return memcmp(type, name, 4) == 0; }

// Whether a chunk of this type may come here: IHDR first, PLTE and tRNS
// before the image data, IDAT in one run.
int check_order(png &p, const unsigned char type[4], bool first)
{
    bool header = is_type(type, "IHDR"), idat = is_type(type, "IDAT");
    for (int i = 0; i < 4; i++)
        if (!((type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z')))
            return refuse(p, "a chunk type that is not four letters");
    if (first != header)
        return refuse(p, first ? "no IHDR chunk first" : "a second IHDR chunk");
    if ((is_type(type, "PLTE") || is_type(type, "tRNS")) && p.idat_seen)
        return refuse(p, "a PLTE or tRNS chunk after the image data");
    if (idat && p.idat_over)
        return refuse(p, "IDAT chunks that are not one run");
    if (idat && p.colour_type == 3 && p.palette_size == 0)
        return refuse(p, "no PLTE chunk before the image data");
    p.idat_over = p.idat_seen && !idat;
    p.idat_seen = p.idat_seen || idat;
    // Bit 5 of the first letter marks a chunk a reader may do without.
    bool known = header || idat || is_type(type, "PLTE") || is_type(type, "IEND");
    if ((type[0] & 0x20) == 0 && !known) {
        (void)snprintf(p.why, REASON_SIZE, "a PNG with a %.4s chunk, which glyphrip cannot read", type);
        return 1;
    }
    return 0;
}

// What a chunk says, once its CRC has shown it whole.
int interpret(png &p, const unsigned char type[4], const unsigned char *d, std::uint32_t length)
{
    if (is_type(type, "IHDR"))
        return length == 13 ? read_header(p, d) : refuse(p, "an IHDR chunk of the wrong length");
    if (is_type(type, "PLTE"))
        return read_palette(p, d, length);
    if (is_type(type, "tRNS"))
        return read_transparency(p, d, length);
    if (is_type(type, "IDAT") && p.broken)
        return refuse(p, "its compressed data do not inflate");
    return 0;
}

// A chunk's data, through the CRC and, for IDAT, through inflate. The
// small chunks that describe the picture are kept whole in `d`.
int read_data(png &p, const unsigned char type[4], std::uint32_t length, unsigned char *d, uLong &crc)
{
    static unsigned char piece[4096];
    bool keep = is_type(type, "IHDR") || is_type(type, "PLTE") || is_type(type, "tRNS");
    if (keep && length > 3 * 256)
        return refuse(p, "a header chunk too long to be one");
    while (length > 0) {
        unsigned char *to = keep ? d : piece;
        size_t n = length < sizeof piece ? length : sizeof piece;
        if (next_bytes(*p.in, to, n) != n)
            return refuse(p, "it ends inside a chunk");
        crc = crc32(crc, to, static_cast<uInt>(n));
        length -= static_cast<std::uint32_t>(n);
        if (is_type(type, "IDAT"))
            inflate_piece(p, to, n);
    }
    return 0;
}

// Reads chunk after chunk up to IEND, checking each one's CRC; nothing
// after IEND is read.
int read_chunks(png &p)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char start[8];
    // Checked here too, since a BMP may hold a PNG.
    if (next_bytes(*p.in, start, 8) != 8 || memcmp(start, signature, 8) != 0)
        return refuse(p, "it does not start with PNG's signature");
    for (bool first = true;; first = false) {
        unsigned char head[8] = {0}, tail[4] = {0}, data[3 * 256] = {0};
        if (next_bytes(*p.in, head, 8) != 8)
            return refuse(p, "it ends before its IEND chunk");
        std::uint32_t length = be32(head);
        const unsigned char *type = head + 4;
        if (length > 0x7FFFFFFF)
            return refuse(p, "a chunk longer than PNG allows");
        if (check_order(p, type, first) != 0)
            return 1;
        uLong crc = crc32(0, type, 4);
        if (read_data(p, type, length, data, crc) != 0)
            return 1;
        if (next_bytes(*p.in, tail, 4) != 4)
            return refuse(p, "it ends inside a chunk");
        if (check_crc && be32(tail) != crc) {
            (void)snprintf(p.why, REASON_SIZE, "a damaged PNG: the CRC of its %.4s chunk does not match", type);
            return 1;
        }
        if (interpret(p, type, data, length) != 0)
            return 1;
        if (is_type(type, "IEND"))
            return p.idat_seen ? 0 : refuse(p, "no IDAT chunk");
    }
}

// Of a, b and c, the bytes to the left, above and above left, the one
// nearest to a + b - c; on a tie a before b before c.
unsigned paeth(unsigned a, unsigned b, unsigned c)
{
    // The two answers that need no arithmetic, and in a drawing most do.
    if (b == c)
        return a;
    if (a == c)
        return b;
    int p = static_cast<int>(b) - static_cast<int>(c), q = static_cast<int>(a) - static_cast<int>(c);
    int pa = p < 0 ? -p : p, pb = q < 0 ? -q : q, pc = p + q < 0 ? -(p + q) : p + q;
    if (pb < pa) {
        pa = pb;
        a = b;
    }
    return pc < pa ? c : a;
}

// Undoes a row's filter in place, one loop for each filter; `prior` is the
// row above, unfiltered, all zeros above a pass's first row. The first
// `bpp` bytes have no byte to their left.
int unfilter(png &p, unsigned char *row, const unsigned char *prior, size_t n)
{
    size_t bpp = (p.channels * p.depth + 7) / 8, i = 0;
    unsigned char *r = row + 1;
    switch (row[0]) {
    case 0: break;
    case 1:
        for (i = bpp; i < n; i++)
            r[i] = static_cast<unsigned char>(r[i] + r[i - bpp]);
        break;
    case 2:
        for (; i < n; i++)
            r[i] = static_cast<unsigned char>(r[i] + prior[i]);
        break;
    case 3:
        for (; i < bpp; i++)
            r[i] = static_cast<unsigned char>(r[i] + prior[i] / 2);
        for (; i < n; i++)
            r[i] = static_cast<unsigned char>(r[i] + (r[i - bpp] + prior[i]) / 2);
        break;
    case 4:
        for (; i < bpp; i++)
            r[i] = static_cast<unsigned char>(r[i] + prior[i]);
        for (; i < n; i++)
            r[i] = static_cast<unsigned char>(r[i] + paeth(r[i - bpp], prior[i], prior[i - bpp]));
        break;
    default: return refuse(p, "a row with a filter PNG does not have");
    }
    return 0;
}

// Sample `i` of an unfiltered row.
std::uint32_t sample(const png &p, const unsigned char *r, size_t i)
{
    if (p.depth == 8)
        return r[i];
    if (p.depth == 16)
        return static_cast<std::uint32_t>(r[2 * i]) << 8 | r[2 * i + 1];
    size_t bit = i * p.depth;
    return static_cast<std::uint32_t>(r[bit / 8] >> (8 - p.depth - bit % 8)) & ((1U << p.depth) - 1);
}

// Inks one unfiltered row of 8-bit grey or RGB without a colour key, by
// far the most common, where only darkness counts; a whole row eight
// pixels to a byte where the row is whole.
void ink_opaque_row(const png &p, ink &k, const unsigned char *r, const pass_shape &s, size_t y)
{
    size_t step = p.channels, green = p.channels / 2, blue = p.channels - 1;
    if (s.dx > 1) {
        for (size_t i = 0, x = s.x0; i < s.width; i++, x += s.dx, r += step)
            ink_dark(k, x, y, r[0], r[green], r[blue]);
        return;
    }
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++) {
        unsigned bits = 0;
        if (step == 3)
            for (unsigned bit = 0; bit < 8; bit++, r += 3)
                bits |= static_cast<unsigned>(is_dark(r[0], r[1], r[2])) << bit;
        else
            for (unsigned bit = 0; bit < 8; bit++, r++)
                bits |= static_cast<unsigned>(is_dark(r[0], r[0], r[0])) << bit;
        k.dark[y * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(bits);
    }
}

// Inks a pixel of grey, grey and alpha, RGB or RGBA samples, transparent
// where they are the tRNS chunk's colour.
void ink_samples(const png &p, ink &k, size_t x, size_t y, const std::uint32_t v[4])
{
    std::uint32_t max = (1U << p.depth) - 1;
    bool colour = p.colour_type == 2 || p.colour_type == 6;
    bool keyed = p.keyed && v[0] == p.key[0] && (!colour || (v[1] == p.key[1] && v[2] == p.key[2]));
    unsigned alpha = p.colour_type == 4 ? to_8_bits(v[1], max) : p.colour_type == 6 ? to_8_bits(v[3], max) : 255;
    unsigned r8 = to_8_bits(v[0], max), g8 = colour ? to_8_bits(v[1], max) : r8,
             b8 = colour ? to_8_bits(v[2], max) : r8;
    ink_pixel(k, x, y, r8, g8, b8, keyed ? 0 : alpha);
}

// Inks one unfiltered row of a pass.
int ink_row(png &p, ink &k, const unsigned char *r, const pass_shape &s, size_t y)
{
    if (p.depth == 8 && (p.colour_type == 0 || p.colour_type == 2) && !p.keyed) {
        ink_opaque_row(p, k, r, s, y);
        return 0;
    }
    for (size_t i = 0; i < s.width; i++) {
        size_t x = s.x0 + i * s.dx;
        std::uint32_t v[4] = {0, 0, 0, 0};
        for (size_t c = 0; c < p.channels; c++)
            v[c] = sample(p, r, i * p.channels + c);
        if (p.colour_type != 3) {
            ink_samples(p, k, x, y, v);
        } else if (v[0] < p.palette_size) {
            const unsigned char *e = p.palette[v[0]];
            ink_pixel(k, x, y, e[0], e[1], e[2], e[3]);
        } else {
            (void)snprintf(p.why, REASON_SIZE, "a damaged PNG: palette index %lu past a palette of %u",
                           static_cast<unsigned long>(v[0]), p.palette_size);
            return 1;
        }
    }
    return 0;
}

int ink_picture(png &p, ink &k)
{
    static const unsigned char zeros[PICTURE_WIDTH * 8] = {0};
    unsigned char *row = filtered;
    for (int pass = p.interlace ? 0 : -1; pass < (p.interlace ? 7 : 0); pass++) {
        pass_shape s = shape_of(pass);
        size_t n = row_bytes(p, s.width);
        for (unsigned j = 0; j < s.height; j++, row += n + 1)
            if (unfilter(p, row, j > 0 ? row - n : zeros, n) != 0 || ink_row(p, k, row + 1, s, s.y0 + j * s.dy) != 0)
                return 1;
    }
    return 0;
}

} // namespace

int read_png(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE])
{
    static png p;
    p = png{};
    p.in = &ahead;
    p.why = why;
    arena_used = 0;
    p.z.zalloc = arena_alloc;
    p.z.zfree = arena_free;
    if (inflateInit2(&p.z, -15) != Z_OK)
        return refuse(p, "glyphrip cannot inflate it");
    int read = read_chunks(p);
    size_t got = p.filtered_size - p.z.avail_out;
    (void)inflateEnd(&p.z);
    if (read != 0)
        return 1;
    if (got < p.filtered_size)
        return refuse(p, "its compressed data hold fewer bytes than the picture needs");
    static ink k;
    start_ink(k);
    if (ink_picture(p, k) != 0)
        return 1;
    finish_ink(k, false, sheet);
    return 0;
}

namespace {

void put_be32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// Puts the length and type in front of the `length` bytes of data at
// `at + 8`, and their CRC after them; gives the whole chunk's size.
size_t chunk(unsigned char *at, const char *type, size_t length)
{
    put_be32(at, static_cast<std::uint32_t>(length));
    memcpy(at + 4, type, 4);
    put_be32(at + 8 + length, static_cast<std::uint32_t>(crc32(0, at + 4, static_cast<uInt>(4 + length))));
    return 12 + length;
}

// A zlib stream of one stored block: the header, the block's header and
// the data as they are, then their Adler-32.
enum { ROWS_SIZE = SHEET_ROWS * (1 + SHEET_ROW_BYTES), STREAM_SIZE = 2 + 5 + ROWS_SIZE + 4 };

size_t stored_rows(const glyph_sheet sheet, unsigned char *to)
{
    static const unsigned char head[7] = {0x78,
                                          0x01,
                                          0x01,
                                          ROWS_SIZE & 0xFF,
                                          ROWS_SIZE >> 8,
                                          static_cast<unsigned char>(~ROWS_SIZE & 0xFF),
                                          (~ROWS_SIZE >> 8) & 0xFF};
    memcpy(to, head, sizeof head);
    unsigned char *rows = to + sizeof head, *r = rows;
    for (size_t row = 0; row < SHEET_ROWS; row++) {
        *r++ = 0; // no filter
        for (size_t col = 0; col < SHEET_ROW_BYTES; col++)
            *r++ = static_cast<unsigned char>(reverse_bits(sheet[row * SHEET_ROW_BYTES + col]));
    }
    put_be32(r, static_cast<std::uint32_t>(adler32(1, rows, ROWS_SIZE)));
    return STREAM_SIZE;
}

} // namespace

// The plainest PNG of the sheet: 1 bit a pixel, a palette of white then
// black, so that its 1 bits are black ink on white paper, and the image
// data stored rather than compressed, so that one font gives the same
// bytes wherever it is written, whatever zlib would make of it.
int write_png(const glyph_sheet sheet, FILE *out)
{
    static unsigned char file[8 + 25 + 18 + 12 + STREAM_SIZE + 12];
    static const unsigned char start[] = {
        0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', // signature
        0,    0,   0,   0,   'I',  'H',  'D',  'R',  0, 0, 0,
        64,   0,   0,   0,   128,  1,    3,    0,    0, 0}; // 1 bit, palette, not interlaced
    static const unsigned char palette[6] = {0xFF, 0xFF, 0xFF, 0, 0, 0};
    memcpy(file, start, sizeof start);
    size_t n = 8 + chunk(file + 8, "IHDR", 13);
    memcpy(file + n + 8, palette, sizeof palette);
    n += chunk(file + n, "PLTE", sizeof palette);
    n += chunk(file + n, "IDAT", stored_rows(sheet, file + n + 8));
    n += chunk(file + n, "IEND", 0);
    return fwrite(file, 1, n, out) == n ? 0 : -1;
}
