// PNG: every colour type and bit depth, interlaced or not, transparency
// from an alpha channel or a tRNS chunk. The chunks, their CRCs, the
// filters and the interlacing are read here; zlib only inflates. Colours
// are taken as stored: gamma, chromaticities, ICC profiles and background
// are not applied.
#include <cstring>

#define ZLIB_CONST // inflate reads the input where it stands
#include <zlib.h>

#include "picture.h"

namespace {

// The filtered picture, whole where it fits: a sheet's at its largest,
// 16-bit RGBA in seven interlaced passes, 8 bytes a pixel and a filter
// byte for each of the passes' 240 rows. A larger picture's rows are
// inflated into it a part at a time and inked as they come, an interlaced
// one's passes pixel by pixel.
constexpr size_t MOST_FILTERED = size_t{SHEET_MOST_WIDTH} * SHEET_MOST_HEIGHT * 8 + 240,
                 MOST_ROW = size_t{MOST_SIDE} * 8;

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

struct png {
    input *in;
    char *why;
    const told *t;
    ink *k;
    std::uint32_t width, height, depth, colour_type, interlace, channels;
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
    value_colours colours; // of each value, for 8 bits a pixel or fewer
    // A picture larger than `filtered`, inked as its rows come: how much
    // of `filtered` is done, the pass and row being inflated, whether it
    // has a row above, and whether inking one was refused.
    bool streamed;
    size_t done;
    int pass;
    unsigned pass_row;
    bool above;
    bool refused;
    bool idat_seen_data; // the planes and colours are ready for rows
};

unsigned char filtered[MOST_FILTERED];

int damaged(png &p, const char *what) { return refuse(p.why, "a damaged PNG: %s", what); }

// Which rows of the picture one interlaced pass holds, from y0 every dy
// down, and how many pixels it has each way; pass -1 is the whole
// picture. Where its pixels stand across, whole_row knows.
struct pass_shape {
    unsigned y0, dy, width, height;
};

pass_shape shape_of(const png &p, int pass)
{
    static const unsigned adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}; // x0, y0, dx, dy
    pass_shape s = {0, 1, p.width, p.height};
    if (pass >= 0) {
        const unsigned *a = adam7[pass];
        s = {a[1], a[3], p.width > a[0] ? (p.width - a[0] + a[2] - 1) / a[2] : 0,
             p.height > a[1] ? (p.height - a[1] + a[3] - 1) / a[3] : 0};
    }
    return s;
}

size_t row_bytes(const png &p, unsigned width) { return (width * p.channels * p.depth + 7) / 8; }

int read_header(png &p, const unsigned char *d)
{
    static const struct {
        std::uint32_t colour_type, channels, depths; // depths as a set of bits
    } types[] = {{0, 1, 1 | 2 | 4 | 8 | 16}, {2, 3, 8 | 16}, {3, 1, 1 | 2 | 4 | 8}, {4, 2, 8 | 16}, {6, 4, 8 | 16}};
    p.width = be32(d);
    p.height = be32(d + 4);
    p.depth = d[8];
    p.colour_type = d[9];
    p.interlace = d[12];
    p.channels = 0;
    for (const auto &t : types)
        if (t.colour_type == p.colour_type && (p.depth & (p.depth - 1)) == 0 && (t.depths & p.depth) != 0)
            p.channels = t.channels;
    if (p.channels == 0)
        return refuse(p.why, "a damaged PNG: bit depth %u with colour type %u, which PNG does not have",
                      static_cast<unsigned>(p.depth), static_cast<unsigned>(p.colour_type));
    if (d[10] != 0 || d[11] != 0 || p.interlace > 1)
        return damaged(p, "a compression, filter or interlace method PNG does not have");
    if (fit_ink(*p.k, *p.t, p.width, p.height, p.why) != 0)
        return 1;
    p.filtered_size = 0;
    for (int pass = p.interlace ? 0 : -1; pass < (p.interlace ? 7 : 0); pass++) {
        pass_shape s = shape_of(p, pass);
        p.filtered_size += s.width == 0 ? 0 : s.height * (1 + row_bytes(p, s.width));
    }
    // Passes are put together a byte of pixels at a time where each row's
    // eights of pixels are whole, as a sheet's are.
    p.streamed = p.filtered_size > MOST_FILTERED || (p.interlace && (p.width % 8 != 0 || p.height % 8 != 0));
    p.pass = p.interlace ? 0 : -1;
    p.z.next_out = filtered;
    p.z.avail_out = static_cast<uInt>(p.streamed ? MOST_FILTERED : p.filtered_size);
    return 0;
}

int read_palette(png &p, const unsigned char *d, std::uint32_t length)
{
    if (length % 3 != 0 || length > 3 * 256 || length == 0)
        return damaged(p, "a PLTE chunk that is no whole palette");
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
            return damaged(p, "a tRNS chunk longer than the palette");
        for (unsigned i = 0; i < length; i++)
            p.palette[i][3] = d[i];
    } else if (p.colour_type == 0 || p.colour_type == 2) {
        if (length != 2 * p.channels)
            return damaged(p, "a tRNS chunk of the wrong length");
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
void take_rows(png &p);

void inflate_piece(png &p, const unsigned char *data, size_t length)
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
    // Z_FINISH: a stream that ends within the call needs no window, and
    // zlib then spares copying its output into one; one that does not
    // goes on as with Z_NO_FLUSH, Z_BUF_ERROR saying it needs more.
    while (p.z.avail_in > 0 && !p.inflated && !p.broken && !p.refused) {
        int status = inflate(&p.z, Z_FINISH);
        p.inflated = status == Z_STREAM_END || p.z.total_out == p.filtered_size;
        p.broken = !p.inflated && status != Z_OK && status != Z_BUF_ERROR;
        if (p.streamed && !p.broken)
            take_rows(p);
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
            return damaged(p, "a chunk type that is not four letters");
    if (first != header)
        return damaged(p, first ? "no IHDR chunk first" : "a second IHDR chunk");
    if ((is_type(type, "PLTE") || is_type(type, "tRNS")) && p.idat_seen)
        return damaged(p, "a PLTE or tRNS chunk after the image data");
    if (idat && p.idat_over)
        return damaged(p, "IDAT chunks that are not one run");
    if (idat && p.colour_type == 3 && p.palette_size == 0)
        return damaged(p, "no PLTE chunk before the image data");
    p.idat_over = p.idat_seen && !idat;
    p.idat_seen = p.idat_seen || idat;
    // Bit 5 of the first letter marks a chunk a reader may do without.
    bool known = header || idat || is_type(type, "PLTE") || is_type(type, "IEND");
    if ((type[0] & 0x20) == 0 && !known)
        return refuse(p.why, "a PNG with a %.4s chunk, which glyphrip cannot read", type);
    return 0;
}

// What a chunk says, once its CRC has shown it whole.
int interpret(png &p, const unsigned char type[4], const unsigned char *d, std::uint32_t length)
{
    if (is_type(type, "IHDR"))
        return length == 13 ? read_header(p, d) : damaged(p, "an IHDR chunk of the wrong length");
    if (is_type(type, "PLTE"))
        return read_palette(p, d, length);
    if (is_type(type, "tRNS"))
        return read_transparency(p, d, length);
    if (is_type(type, "IDAT") && p.broken)
        return damaged(p, "its compressed data do not inflate");
    return 0;
}

// A chunk's data, through the CRC and, for IDAT, through inflate, where
// it stands in the input. The small chunks that describe the picture are
// kept whole in `d`.
void prepare(png &p);

int read_data(png &p, const unsigned char type[4], std::uint32_t length, unsigned char *d, uLong &crc)
{
    bool keep = is_type(type, "IHDR") || is_type(type, "PLTE") || is_type(type, "tRNS");
    if (keep && length > 3 * 256)
        return damaged(p, "a header chunk too long to be one");
    if (keep) {
        if (next_bytes(*p.in, d, length) != length)
            return damaged(p, "it ends inside a chunk");
        crc = crc32(crc, d, static_cast<uInt>(length));
        return 0;
    }
    bool idat = is_type(type, "IDAT");
    if (idat && !p.idat_seen_data)
        prepare(p);
    while (length > 0) {
        size_t n = 0;
        const unsigned char *piece = next_span(*p.in, length, n);
        if (n == 0)
            return damaged(p, "it ends inside a chunk");
        crc = crc32(crc, piece, static_cast<uInt>(n));
        length -= static_cast<std::uint32_t>(n);
        if (idat)
            inflate_piece(p, piece, n);
        if (p.refused)
            return 1;
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
        return damaged(p, "it does not start with PNG's signature");
    for (bool first = true;; first = false) {
        unsigned char head[8] = {0}, tail[4] = {0}, data[3 * 256] = {0};
        if (next_bytes(*p.in, head, 8) != 8)
            return damaged(p, "it ends before its IEND chunk");
        std::uint32_t length = be32(head);
        const unsigned char *type = head + 4;
        if (length > 0x7FFFFFFF)
            return damaged(p, "a chunk longer than PNG allows");
        if (check_order(p, type, first) != 0)
            return 1;
        uLong crc = crc32(0, type, 4);
        if (read_data(p, type, length, data, crc) != 0)
            return 1;
        if (next_bytes(*p.in, tail, 4) != 4)
            return damaged(p, "it ends inside a chunk");
        if (check_crc && be32(tail) != crc)
            return refuse(p.why, "a damaged PNG: the CRC of its %.4s chunk does not match", type);
        if (interpret(p, type, data, length) != 0)
            return 1;
        if (is_type(type, "IEND"))
            return p.idat_seen ? 0 : damaged(p, "no IDAT chunk");
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

// Paeth's filter undone for pixels of fewer than 4 bytes, the pixel to the
// left kept at hand, since the compiler cannot know that storing a byte of
// this row changes none of the row above. Where eight pixels of the row
// above are those to their left, as in most of a drawing, each byte's
// predictor is the byte to its left.
inline void unpaeth_small(unsigned char *r, const unsigned char *prior, size_t n, size_t bpp)
{
    unsigned char left[4];
    size_t i = 0;
    for (; i < bpp; i++)
        left[i] = r[i] = static_cast<unsigned char>(r[i] + prior[i]);
    while (i < n) {
        size_t end = i + (n - i < 8 * bpp ? n - i : 8 * bpp);
        if (end - i == 8 * bpp && same_bytes(prior + i, prior + i - bpp, 8 * bpp)) {
            for (; i < end; i += bpp)
                for (size_t j = 0; j < bpp; j++)
                    left[j] = r[i + j] = static_cast<unsigned char>(r[i + j] + left[j]);
            continue;
        }
        for (; i < end; i += bpp)
            for (size_t j = 0; j < bpp; j++)
                left[j] = r[i + j] =
                    static_cast<unsigned char>(r[i + j] + paeth(left[j], prior[i + j], prior[i + j - bpp]));
    }
}

// Paeth's filter undone for pixels of 4 bytes or more. Where eight bytes
// of the row above are those a pixel to their left, as in most of a
// drawing, each byte's predictor is the byte to its left; the rest one by
// one, a pixel's worth at a time.
inline void unpaeth_words(unsigned char *r, const unsigned char *prior, size_t n, size_t bpp)
{
    size_t i = 0;
    for (; i < bpp; i++)
        r[i] = static_cast<unsigned char>(r[i] + prior[i]);
    while (i < n) {
        size_t end = i + (n - i < bpp ? n - i : bpp);
        if (n - i >= 8 && same_bytes(prior + i, prior + i - bpp, 8)) {
            for (end = i + 8; i < end; i++)
                r[i] = static_cast<unsigned char>(r[i] + r[i - bpp]);
            continue;
        }
        for (; i < end; i++)
            r[i] = static_cast<unsigned char>(r[i] + paeth(r[i - bpp], prior[i], prior[i - bpp]));
    }
}

// Undoes a row's filter in place, one loop for each filter; `prior` is the
// row above, unfiltered, all zeros above a pass's first row. The first
// `bpp` bytes have no byte to their left.
[[gnu::always_inline]] inline void unfilter_bytes(int filter, unsigned char *r, const unsigned char *prior, size_t n,
                                                  size_t bpp)
{
    size_t i = 0;
    switch (filter) {
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
    default: // 4, the others refused already
        if (bpp < 4)
            unpaeth_small(r, prior, n, bpp);
        else
            unpaeth_words(r, prior, n, bpp);
        break;
    }
}

// The loops copied for each size of pixel, so that the byte to the left is
// at a constant distance: the rows hold whole pixels.
[[gnu::always_inline]] inline int unfilter(png &p, unsigned char *row, const unsigned char *prior, size_t n)
{
    int filter = row[0];
    if (filter > 4)
        return damaged(p, "a row with a filter PNG does not have");
    switch ((p.channels * p.depth + 7) / 8) {
    case 1: unfilter_bytes(filter, row + 1, prior, n, 1); break;
    case 2: unfilter_bytes(filter, row + 1, prior, n, 2); break;
    case 3: unfilter_bytes(filter, row + 1, prior, n, 3); break;
    case 4: unfilter_bytes(filter, row + 1, prior, n, 4); break;
    case 6: unfilter_bytes(filter, row + 1, prior, n, 6); break;
    default: unfilter_bytes(filter, row + 1, prior, n, 8); break;
    }
    return 0;
}

// The colour of each value of a picture of at most 8 bits a pixel: a
// palette's colours, or grey levels, transparent where they are the tRNS
// chunk's; no colour past the palette. Values past the depth's reach are
// never looked up.
void value_colours_of(png &p)
{
    unsigned max = (1U << p.depth) - 1;
    for (unsigned v = 0; v <= max && v < 256; v++) {
        const unsigned char *e = p.palette[v];
        unsigned grey = to_8_bits(v & max, max);
        if (p.colour_type == 3 && v < p.palette_size)
            set_colour(p.colours, v, e[0], e[1], e[2], e[3]);
        else if (p.colour_type == 0)
            set_colour(p.colours, v, grey, grey, grey, p.keyed && v == p.key[0] ? 0 : 255);
        else
            set_no_colour(p.colours, v);
    }
    if (p.depth < 8)
        pack_colours(p.colours, p.depth);
}

int past_palette(png &p, unsigned v)
{
    return refuse(p.why, "a damaged PNG: palette index %u past a palette of %u", v, p.palette_size);
}

// A row of 16-bit samples keyed by the tRNS chunk, as 8-bit samples
// with alpha: 0 where the pixel is the key's colour, 255 elsewhere.
void unkey(const png &p, const unsigned char *r, size_t width, unsigned char *rgba)
{
    size_t channels = p.channels;
    for (size_t x = 0; x < width; x++, r += 2 * channels, rgba += 4) {
        bool key = true;
        for (size_t c = 0; c < 3; c++) {
            const unsigned char *s = r + 2 * (c < channels ? c : 0);
            std::uint32_t v = static_cast<std::uint32_t>(s[0]) << 8 | s[1];
            key = key && v == p.key[c < channels ? c : 0];
            rgba[c] = static_cast<unsigned char>(to_8_bits(v, 65535));
        }
        rgba[3] = key ? 0 : 255;
    }
}

// Where samples stand, by colour type, of 8 and of 16 bits.
const sample_places eight[7] = {{1, 0, 0, 0, 0, false}, {}, {3, 0, 1, 2, 0, false}, {},
                                {2, 0, 0, 0, 1, true},  {}, {4, 0, 1, 2, 3, true}};
const sample_places deep[7] = {{2, 0, 0, 0, 0, false}, {}, {6, 0, 2, 4, 0, false}, {},
                               {4, 0, 0, 0, 2, true},  {}, {8, 0, 2, 4, 6, true}};
unsigned char rgba[MOST_SIDE * 4]; // a row of 16-bit samples keyed, as 8 bits

// Inks a whole row of the picture as PNG packs it, unfiltered.
int ink_row(png &p, ink &k, const unsigned char *r, size_t y)
{
    unsigned bad = 0;
    if (p.depth < 8)
        return ink_packed(k, y, r, p.depth, p.colours, bad) == 0 ? 0 : past_palette(p, bad);
    if (p.colour_type == 3 || (p.colour_type == 0 && p.depth == 8))
        return ink_values(k, y, r, p.colours, bad) == 0 ? 0 : past_palette(p, bad);
    if (p.keyed && p.depth == 8 && p.colour_type == 2) {
        const unsigned char key[3] = {static_cast<unsigned char>(p.key[0]), static_cast<unsigned char>(p.key[1]),
                                      static_cast<unsigned char>(p.key[2])};
        // A key past 255 is no 8-bit colour: no pixel is transparent.
        if (p.key[0] > 255 || p.key[1] > 255 || p.key[2] > 255)
            ink_colours(k, y, r, eight[2]);
        else
            ink_keyed_colours(k, y, r, key);
    } else if (p.keyed) {
        unkey(p, r, p.width, rgba);
        ink_colours(k, y, rgba, eight[6]);
    } else if (p.depth == 8) {
        ink_colours(k, y, r, eight[p.colour_type]);
    } else {
        ink_deep_colours(k, y, r, deep[p.colour_type]);
    }
    return 0;
}

// For each byte of pixels of 1, 2 or 4 bits, the same pixels in 16 bits
// with room for one more after each.
struct gaps {
    std::uint16_t of[256];
};

constexpr gaps gaps_of(unsigned depth)
{
    gaps t{};
    for (unsigned b = 0; b < 256; b++)
        for (unsigned i = 0; i < 8 / depth; i++) {
            unsigned v = b >> (8 - depth * (i + 1)) & ((1U << depth) - 1);
            t.of[b] = static_cast<std::uint16_t>(t.of[b] | v << (16 - depth * (2 * i + 1)));
        }
    return t;
}

constexpr gaps gapped[3] = {gaps_of(1), gaps_of(2), gaps_of(4)};

// Pixels of `bytes` bytes each, taken in turn from `even` and `odd`;
// called with each size as a constant, so that each copy is a move or two
// rather than a call.
inline void alternate(const unsigned char *even, const unsigned char *odd, size_t n, unsigned char *out, size_t bytes)
{
    for (size_t i = 0; i < n; i += bytes, out += 2 * bytes) {
        memcpy(out, even + i, bytes);
        memcpy(out + bytes, odd + i, bytes);
    }
}

// The row of twice as many pixels whose pixels at even places are the `n`
// bytes of `even`, and those at odd places the `n` of `odd`.
void interleave(const png &p, const unsigned char *even, const unsigned char *odd, size_t n, unsigned char *out)
{
    if (p.depth < 8) {
        const gaps &g = gapped[p.depth == 4 ? 2 : p.depth - 1];
        for (size_t i = 0; i < n; i++) {
            unsigned both = g.of[even[i]] | g.of[odd[i]] >> p.depth;
            out[2 * i] = static_cast<unsigned char>(both >> 8);
            out[2 * i + 1] = static_cast<unsigned char>(both);
        }
        return;
    }
    switch (p.channels * p.depth / 8) {
    case 1: alternate(even, odd, n, out, 1); break;
    case 2: alternate(even, odd, n, out, 2); break;
    case 3: alternate(even, odd, n, out, 3); break;
    case 4: alternate(even, odd, n, out, 4); break;
    case 6: alternate(even, odd, n, out, 6); break;
    default: alternate(even, odd, n, out, 8); break;
    }
}

// The passes' rows, unfiltered, where `filtered` holds them: where each
// pass begins, and each one's rows' length with their filter bytes.
struct passes {
    const unsigned char *start[7];
    size_t stride[7];
};

passes interlaced_rows; // of the last picture read

const unsigned char *pass_row(const png &p, const passes &at, int pass, size_t y)
{
    pass_shape s = shape_of(p, pass);
    return at.start[pass] + (y - s.y0) / s.dy * at.stride[pass] + 1;
}

// Row y of an interlaced picture, packed as a picture not interlaced packs
// it. Which passes have pixels in a row goes by its place among eight
// (Adam7's grid): the coarsest one's row, then each finer one's pixels put
// in the places between those before.
const unsigned char *whole_row(const png &p, const passes &at, size_t y)
{
    static const int holding[8][5] = {{0, 1, 3, 5, -1}, {6, -1}, {4, 5, -1}, {6, -1},
                                      {2, 3, 5, -1},    {6, -1}, {4, 5, -1}, {6, -1}};
    static unsigned char rows[2][MOST_ROW];
    const int *pass = holding[y % 8];
    const unsigned char *row = pass_row(p, at, pass[0], y);
    size_t n = at.stride[pass[0]] - 1;
    for (int i = 1; pass[i] >= 0; i++, n *= 2) {
        interleave(p, row, pass_row(p, at, pass[i], y), n, rows[i % 2]);
        row = rows[i % 2];
    }
    return row;
}

// Value i of a row of values of at most 8 bits.
unsigned value_at(const png &p, const unsigned char *r, size_t i)
{
    size_t bit = i * p.depth;
    return p.depth == 8 ? r[i] : r[bit / 8] >> (8 - p.depth - bit % 8) & ((1U << p.depth) - 1);
}

// Refuses the first palette index past the palette of an interlaced
// picture, as the passes come.
int past_palette_in_passes(png &p, const passes &at)
{
    for (int pass = 0; pass < 7; pass++) {
        pass_shape s = shape_of(p, pass);
        for (unsigned j = 0; j < s.height && s.width > 0; j++)
            for (size_t i = 0; i < s.width; i++) {
                unsigned v = value_at(p, at.start[pass] + j * at.stride[pass] + 1, i);
                if (p.colours.inks[v] == NO_COLOUR)
                    return past_palette(p, v);
            }
    }
    return 0;
}

// The picture, whole in `filtered`, unfiltered row by row and inked; an
// interlaced one's rows are put together once all its passes are
// unfiltered.
int ink_picture(png &p, ink &k)
{
    static const unsigned char zeros[MOST_ROW] = {0};
    passes at = {};
    unsigned char *row = filtered;
    for (int pass = p.interlace ? 0 : -1; pass < (p.interlace ? 7 : 0); pass++) {
        pass_shape s = shape_of(p, pass);
        size_t n = row_bytes(p, s.width);
        if (pass >= 0) {
            at.start[pass] = row;
            at.stride[pass] = n + 1;
        }
        for (unsigned j = 0; j < s.height && s.width > 0; j++, row += n + 1) {
            if (unfilter(p, row, j > 0 ? row - n : zeros, n) != 0)
                return 1;
            if (!p.interlace && ink_row(p, k, row + 1, j) != 0)
                return 1;
        }
    }
    for (size_t y = 0; p.interlace && y < p.height; y++)
        if (ink_row(p, k, whole_row(p, at, y), y) != 0)
            return past_palette_in_passes(p, at);
    interlaced_rows = at;
    return 0;
}

// Pixel i of a row as 8-bit red, green, blue and alpha; false where its
// value has no colour, then `bad`.
bool pixel_rgba(const png &p, const unsigned char *r, size_t i, unsigned char out[4], unsigned &bad)
{
    if (p.colour_type == 3 || (p.colour_type == 0 && p.depth <= 8)) {
        bad = value_at(p, r, i);
        memcpy(out, p.colours.rgba[bad], 4);
        return p.colours.inks[bad] != NO_COLOUR;
    }
    size_t bytes = p.depth / 8;
    const unsigned char *q = r + i * p.channels * bytes;
    std::uint32_t v[4] = {0, 0, 0, 0}, max = p.depth == 8 ? 255 : 65535;
    for (size_t c = 0; c < p.channels; c++)
        v[c] = bytes == 1 ? q[c] : static_cast<std::uint32_t>(q[2 * c]) << 8 | q[2 * c + 1];
    bool grey = p.channels <= 2, keyed = p.keyed;
    for (size_t c = 0; c < 3; c++) {
        std::uint32_t s = v[grey ? 0 : c];
        keyed = keyed && s == p.key[grey ? 0 : c];
        out[c] = static_cast<unsigned char>(to_8_bits(s, max));
    }
    bool alpha = p.channels == 2 || p.channels == 4;
    out[3] = static_cast<unsigned char>(keyed ? 0 : alpha ? to_8_bits(v[p.channels - 1], max) : 255);
    return true;
}

// A row of an interlaced pass, `j` of pass `pass`, its pixels put where
// they stand in the picture, one by one.
int put_pass_row(png &p, int pass, unsigned j, const unsigned char *r)
{
    static const unsigned x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    pass_shape s = shape_of(p, pass);
    for (size_t i = 0; i < s.width; i++) {
        unsigned char out[4];
        unsigned bad = 0;
        if (!pixel_rgba(p, r, i, out, bad))
            return past_palette(p, bad);
        put_pixel(*p.k, x0[pass] + i * dx[pass], s.y0 + size_t{j} * s.dy, out);
    }
    return 0;
}

// Where a picture is larger than `filtered`, inks each row inflating has
// made whole, keeping the one above apart for the filters, and moves the
// rest of `filtered` to its start for what inflates next.
void take_rows(png &p)
{
    static const unsigned char zeros[MOST_ROW] = {0};
    static unsigned char above[MOST_ROW];
    unsigned char *at = filtered + p.done, *end = p.z.next_out;
    const int last = p.interlace ? 6 : -1;
    while (!p.refused && p.pass <= last) {
        pass_shape s = shape_of(p, p.pass);
        if (p.pass_row >= s.height || s.width == 0) {
            p.pass++;
            p.pass_row = 0;
            p.above = false;
            continue;
        }
        size_t n = row_bytes(p, s.width);
        if (static_cast<size_t>(end - at) < n + 1)
            break;
        p.refused =
            unfilter(p, at, p.above ? above : zeros, n) != 0 ||
            (p.interlace ? put_pass_row(p, p.pass, p.pass_row, at + 1) : ink_row(p, *p.k, at + 1, p.pass_row)) != 0;
        memcpy(above, at + 1, n);
        p.above = true;
        p.pass_row++;
        at += n + 1;
    }
    auto left = static_cast<size_t>(end - at);
    memmove(filtered, at, left);
    p.done = 0;
    p.z.next_out = filtered + left;
    size_t to_come = p.filtered_size - p.z.total_out, room = MOST_FILTERED - left;
    p.z.avail_out = static_cast<uInt>(to_come < room ? to_come : room);
}

// Once the header, palette and transparency are known, before the first
// row: the planes, and each value's colour.
void prepare(png &p)
{
    p.idat_seen_data = true;
    start_ink(*p.k, false);
    if (p.colour_type == 0 || p.colour_type == 3) // the others' samples are colours
        value_colours_of(p);
}

// The grey levels of row y, from the picture's rows, all of which stay
// where inflating put them: worked out only where the rule needs them, so
// that a PNG pays nothing for them as it is read.
void row_greys(const void *reader, size_t y, unsigned char *greys)
{
    const png &p = *static_cast<const png *>(reader);
    const unsigned char *r =
        p.interlace ? whole_row(p, interlaced_rows, y) : filtered + y * (row_bytes(p, p.width) + 1) + 1;
    if (p.colour_type == 3 || (p.colour_type == 0 && p.depth <= 8)) {
        values_greys(r, p.width, p.depth, p.colours.greys, greys);
    } else if (p.keyed && p.depth == 16) {
        unkey(p, r, p.width, rgba);
        samples_greys(rgba, p.width, eight[6], false, greys);
    } else {
        samples_greys(r, p.width, p.depth == 8 ? eight[p.colour_type] : deep[p.colour_type], p.depth == 16, greys);
    }
}

} // namespace

int read_png(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    static png p;
    static const grey_source again = {row_greys, &p};
    p = png{};
    p.in = &in;
    p.why = why;
    p.t = &t;
    p.k = &k;
    arena_used = 0;
    p.z.zalloc = arena_alloc;
    p.z.zfree = arena_free;
    if (inflateInit2(&p.z, -15) != Z_OK)
        return damaged(p, "glyphrip cannot inflate it");
    int read = read_chunks(p);
    std::uint64_t got = p.z.total_out;
    (void)inflateEnd(&p.z);
    if (read != 0)
        return 1;
    if (got < p.filtered_size)
        return damaged(p, "its compressed data hold fewer bytes than the picture needs");
    if (p.streamed)
        return 0;
    // Every row stays in `filtered`, where row_greys finds them again.
    k.keep_grey = false;
    k.again = &again;
    return ink_picture(p, k);
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
// the rows as they are, each behind a filter byte of 0, then their
// Adler-32; gives its length.
size_t stored_rows(const glyph_sheet &sheet, unsigned char *to)
{
    size_t row_bytes = sheet.width / 8;
    auto length = static_cast<unsigned>(sheet.height * (1 + row_bytes)), complement = 0xFFFF - length;
    // The zlib header, then a last block stored: its length, and that
    // length's complement.
    const unsigned char head[7] = {0x78,
                                   0x01,
                                   0x01,
                                   static_cast<unsigned char>(length & 0xFF),
                                   static_cast<unsigned char>(length >> 8),
                                   static_cast<unsigned char>(complement & 0xFF),
                                   static_cast<unsigned char>(complement >> 8)};
    memcpy(to, head, sizeof head);
    unsigned char *rows = to + sizeof head, *r = rows;
    for (size_t row = 0; row < sheet.height; row++) {
        *r++ = 0;
        for (size_t col = 0; col < row_bytes; col++)
            *r++ = static_cast<unsigned char>(reverse_bits(sheet.bits[row * row_bytes + col]));
    }
    put_be32(r, static_cast<std::uint32_t>(adler32(1, rows, length)));
    return sizeof head + length + 4;
}

} // namespace

// The plainest PNG of the sheet: 1 bit a pixel, a palette of white then
// black, so that its 1 bits are black ink on white paper, and the image
// data stored rather than compressed, so that one font gives the same
// bytes wherever it is written, whatever zlib would make of it. A sheet
// more than half ink has its paper transparent, so that it is read back
// by its transparency rather than as light ink on dark paper.
size_t write_png(const glyph_sheet &sheet, unsigned char out[MOST_WRITTEN])
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char palette[6] = {0xFF, 0xFF, 0xFF, 0, 0, 0};
    memcpy(out, signature, sizeof signature);
    size_t n = sizeof signature;
    put_be32(out + n + 8, sheet.width);
    put_be32(out + n + 12, sheet.height);
    const unsigned char rest[5] = {1, 3, 0, 0, 0}; // 1 bit, palette, not interlaced
    memcpy(out + n + 16, rest, sizeof rest);
    n += chunk(out + n, "IHDR", 13);
    memcpy(out + n + 8, palette, sizeof palette);
    n += chunk(out + n, "PLTE", sizeof palette);
    if (mostly_ink(sheet)) {
        out[n + 8] = 0; // white, wholly transparent
        n += chunk(out + n, "tRNS", 1);
    }
    n += chunk(out + n, "IDAT", stored_rows(sheet, out + n + 8));
    n += chunk(out + n, "IEND", 0);
    return n;
}
