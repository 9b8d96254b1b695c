// What the readers of pictures share: reading the input forward and the
// ink rule.
#include <cstring>
#include <initializer_list>

#include "picture.h"

// 64-bit positions everywhere: Windows' long is 32 bits.
#ifdef _WIN32
#define GLYPHRIP_FSEEK _fseeki64
#define GLYPHRIP_FTELL _ftelli64
#else
#define GLYPHRIP_FSEEK fseeko
#define GLYPHRIP_FTELL ftello
#endif

// The length of a file that can seek, read `at` bytes from its start, to
// which it is put back: false if it cannot be.
static bool file_size(FILE *in, size_t at, std::uint64_t &size)
{
    auto end = GLYPHRIP_FSEEK(in, 0, SEEK_END) == 0 ? GLYPHRIP_FTELL(in) : -1;
    size = end < 0 ? UNKNOWN_SIZE : static_cast<std::uint64_t>(end);
    return GLYPHRIP_FSEEK(in, static_cast<long>(at), SEEK_SET) == 0;
}

int look_ahead(FILE *in, lookahead &ahead)
{
    ahead.file = in;
    ahead.length = fread(ahead.start, 1, sizeof ahead.start, in);
    ahead.position = 0;
    ahead.ended = ahead.length < sizeof ahead.start;
    ahead.size = ahead.ended ? ahead.length : UNKNOWN_SIZE;
    // A pipe cannot seek; moving nowhere tells a file from one.
    ahead.seekable = !ahead.ended && fseek(in, 0, SEEK_CUR) == 0;
    if (ahead.seekable && !file_size(in, ahead.length, ahead.size))
        return -1;
    return ferror(in) ? -1 : 0;
}

size_t next_bytes(lookahead &ahead, unsigned char *to, size_t n)
{
    size_t got = 0;
    if (ahead.position < ahead.length) {
        got = ahead.length - static_cast<size_t>(ahead.position);
        got = got < n ? got : n;
        memcpy(to, ahead.start + ahead.position, got);
        ahead.position += got;
    }
    if (got < n && !ahead.ended) {
        size_t more = fread(to + got, 1, n - got, ahead.file);
        ahead.position += more;
        got += more;
        ahead.ended = got < n;
    }
    return got;
}

void start_source(byte_source &s, lookahead &in)
{
    s.in = &in;
    s.at = s.end = s.block;
}

size_t next_bytes_at_hand(lookahead &ahead, unsigned char *to, size_t n)
{
    if (ahead.seekable)
        return next_bytes(ahead, to, n);
    int c = next_byte(ahead);
    to[0] = static_cast<unsigned char>(c);
    return c == EOF ? 0 : 1;
}

int refill(byte_source &s)
{
    size_t got = next_bytes_at_hand(*s.in, s.block, sizeof s.block - 4);
    s.at = s.block;
    s.end = s.block + got;
    return got > 0 ? *s.at++ : EOF;
}

bool skip_bytes(lookahead &ahead, std::uint64_t n)
{
    unsigned char drop[512];
    while (n > 0) {
        size_t part = n < sizeof drop ? static_cast<size_t>(n) : sizeof drop;
        if (next_bytes(ahead, drop, part) != part)
            return false;
        n -= part;
    }
    return true;
}

int refuse_size(char why[REASON_SIZE], long long width, long long height)
{
    (void)snprintf(why, REASON_SIZE, "%lld x %lld pixels; a sheet is 64 x 128", width, height);
    return 1;
}

void start_ink(ink &k)
{
    memset(k.dark, 0, sizeof k.dark);
    memset(k.opaque, 0, sizeof k.opaque);
    k.see_through = false;
    k.alpha_anywhere = false;
}

void finish_ink(const ink &k, bool zero_alpha_is_opaque, glyph_sheet sheet)
{
    bool by_alpha = k.see_through && (k.alpha_anywhere || !zero_alpha_is_opaque);
    memcpy(sheet, by_alpha ? k.opaque : k.dark, SHEET_BYTES);
}

void grey_inks(std::uint32_t inks[256], unsigned max)
{
    for (unsigned v = 0; v < 256; v++) {
        unsigned grey = v <= max ? to_8_bits(v, max) : 0;
        inks[v] = v <= max ? ink_of(grey, grey, grey, 255) : NO_COLOUR;
    }
}

// Byte `col` of row y of both planes: the dark pixels in the low byte of
// `bits`, the opaque ones in the next. `opaque` keeps the opaque pixels
// of the whole row, for `put_row` to tell whether any is see-through.
static void put_inks(ink &k, size_t y, size_t col, std::uint32_t bits, std::uint32_t &opaque)
{
    k.dark[y * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(bits);
    k.opaque[y * SHEET_ROW_BYTES + col] = static_cast<unsigned char>(bits >> 8);
    opaque &= bits;
}

static void put_row(ink &k, std::uint32_t opaque, bool alpha)
{
    k.see_through = k.see_through || (opaque & 0xFF00) != 0xFF00;
    k.alpha_anywhere = k.alpha_anywhere || alpha;
}

// Each byte is built from its rightmost pixel on, each pixel's ink added
// to twice the sum so far: its dark and opaque bits go in below those
// before, and its alpha and NO_COLOUR bits stay above them.
bool ink_values(ink &k, size_t y, const unsigned char *values, const std::uint32_t inks[256])
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, values += 8) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + inks[values[i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque);
    }
    put_row(k, opaque, (seen & 0xFF0000) != 0);
    return seen >> 24 == 0;
}

void byte_inks(const std::uint32_t inks[256], unsigned depth, std::uint32_t table[256])
{
    unsigned mask = (1U << depth) - 1;
    for (unsigned b = 0; b < 256; b++) {
        std::uint32_t bits = 0;
        for (unsigned i = 8 / depth; i-- > 0;)
            bits = 2 * bits + inks[b >> (8 - depth * (i + 1)) & mask];
        table[b] = bits;
    }
}

// As ink_values, a byte of pixels at a time: each byte's inks go in above
// those of the bytes to its left. Copied for each depth, so that the
// shifts are constants.
[[gnu::always_inline]] static inline bool packed_row(ink &k, size_t y, const unsigned char *packed, unsigned depth,
                                                     const std::uint32_t table[256])
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, packed += depth) {
        std::uint32_t bits = 0;
        for (size_t i = depth; i-- > 0;)
            bits = (bits << (8 / depth)) + table[packed[i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque);
    }
    put_row(k, opaque, (seen & 0xFF0000) != 0);
    return seen >> 24 == 0;
}

bool ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const std::uint32_t table[256])
{
    switch (depth) {
    case 1: return packed_row(k, y, packed, 1, table);
    case 2: return packed_row(k, y, packed, 2, table);
    default: return packed_row(k, y, packed, 4, table);
    }
}

// A row of one bit a pixel is one word: each plane's row takes the 1s
// where a 1 sets it, and the 0s where a 0 does.
static_assert(SHEET_ROW_BYTES == 8, "a row of one-bit pixels is a 64-bit word");

void ink_bits(ink &k, size_t y, const unsigned char *packed, std::uint32_t zero, std::uint32_t one)
{
    const std::uint64_t all = ~std::uint64_t{0}, low = all / 3, pairs = all / 5, nibbles = all / 17;
    std::uint64_t b;
    memcpy(&b, packed, 8);
    // Each byte's bits mirrored, the leftmost pixel to the lowest bit.
    b = (b & low) << 1 | (b >> 1 & low);
    b = (b & pairs) << 2 | (b >> 2 & pairs);
    b = (b & nibbles) << 4 | (b >> 4 & nibbles);
    std::uint64_t n = ~b;
    std::uint64_t dark = (b & ((one & INK_DARK) != 0 ? all : 0)) | (n & ((zero & INK_DARK) != 0 ? all : 0));
    std::uint64_t opaque = (b & ((one & INK_OPAQUE) != 0 ? all : 0)) | (n & ((zero & INK_OPAQUE) != 0 ? all : 0));
    memcpy(k.dark + y * SHEET_ROW_BYTES, &dark, 8);
    memcpy(k.opaque + y * SHEET_ROW_BYTES, &opaque, 8);
    std::uint32_t seen = (b != 0 ? one : 0) | (b != all ? zero : 0);
    k.see_through = k.see_through || opaque != all;
    k.alpha_anywhere = k.alpha_anywhere || (seen & INK_ALPHA) != 0;
}

// Whether the eight pixels of `step` bytes, 2 or more, from `p` are of one
// colour, as most of a drawing's are: each byte that of the pixel before.
[[gnu::always_inline]] static inline bool one_colour(const unsigned char *p, size_t step)
{
    return same_bytes(p, p + step, 7 * step);
}

// Once some pixel is less than half opaque and some alpha is not 0, the
// picture is read by its alpha alone, and how dark a pixel is no longer
// matters: a row's opaque pixels, by the top bit of each alpha (of 8
// bits, or the high byte of 16), and its dark ones left out.
static bool read_by_alpha(const ink &k) { return k.see_through && k.alpha_anywhere; }

static void opaque_row(ink &k, size_t y, const unsigned char *p, size_t step, size_t alpha)
{
    std::uint32_t row_opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 8 * step) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + (p[i * step + alpha] >> 7);
        put_inks(k, y, col, bits << 8, row_opaque);
    }
}

// One pixel of 8-bit samples: its dark bit, and its opaque bit above.
[[gnu::always_inline]] static inline std::uint32_t colour_ink(const unsigned char *q, const layout &l,
                                                              std::uint32_t &alphas)
{
    std::uint32_t a = l.has_alpha ? q[l.alpha] : 255;
    alphas |= a;
    return dark_bit(q[l.red], q[l.green], q[l.blue]) | (a >> 7) << 8;
}

// A 16-bit sample as 8 bits: for every such sample the same as
// to_8_bits(v, 65535), without its division.
static std::uint32_t deep(const unsigned char *p)
{
    return ((static_cast<std::uint32_t>(p[0]) << 8 | p[1]) * 255 + 32895) >> 16;
}

// Darkness by the samples' high bytes, each within 1 of the sample as 8
// bits, so that their sum is within 1000 of the one the rule takes: only
// a colour whose sum is that near the threshold needs the whole samples.
static std::uint32_t exact_dark_bit(const unsigned char *q, const layout &l)
{
    return dark_bit(deep(q + l.red), deep(q + l.green), deep(q + l.blue));
}

static inline std::uint32_t deep_dark_bit(const unsigned char *q, const layout &l)
{
    std::uint32_t near = 299U * q[l.red] + 587U * q[l.green] + 114U * q[l.blue];
    return near - 127000 < 2000 ? exact_dark_bit(q, l) : (near - 128000) >> 31;
}

// As colour_ink, for 16-bit samples. As 8 bits an alpha is at least 128
// from 32768 on, and not 0 from 129 on.
[[gnu::always_inline]] static inline std::uint32_t deep_ink(const unsigned char *q, const layout &l,
                                                            std::uint32_t &alphas)
{
    std::uint32_t a = l.has_alpha ? static_cast<std::uint32_t>(q[l.alpha]) << 8 | q[l.alpha + 1] : 65535;
    alphas |= (a + 127) >> 8;
    return deep_dark_bit(q, l) | (a >> 15) << 8;
}

// The loop over a row of 8- or 16-bit samples, which `ink_colours` and
// `ink_deep_colours` copy in whole for each layout pictures have, so that
// its offsets are constants and cost nothing. Each byte is built from its
// rightmost pixel on, each pixel's bits going in below the last's; eight
// pixels of one colour are one pixel's bits eight times over.
[[gnu::always_inline]] static inline void samples_row(ink &k, size_t y, const unsigned char *p, const layout &l,
                                                      bool sixteen)
{
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 8 * l.step) {
        std::uint32_t bits = 0;
        if (l.step > 1 && one_colour(p, l.step))
            bits = (sixteen ? deep_ink(p, l, alphas) : colour_ink(p, l, alphas)) * 0xFF;
        else
            for (size_t i = 8; i-- > 0;) {
                const unsigned char *q = p + i * l.step;
                bits = 2 * bits + (sixteen ? deep_ink(q, l, alphas) : colour_ink(q, l, alphas));
            }
        put_inks(k, y, col, bits, row_opaque);
    }
    put_row(k, row_opaque, l.has_alpha && alphas != 0);
}

static bool operator==(const layout &a, const layout &b)
{
    return a.step == b.step && a.red == b.red && a.green == b.green && a.blue == b.blue && a.has_alpha == b.has_alpha &&
           (!a.has_alpha || a.alpha == b.alpha);
}

void ink_colours(ink &k, size_t y, const unsigned char *p, const layout &l)
{
    static const layout grey = {1, 0, 0, 0, 0, false}, grey_alpha = {2, 0, 0, 0, 1, true}, rgb = {3, 0, 1, 2, 0, false},
                        bgr = {3, 2, 1, 0, 0, false}, rgba = {4, 0, 1, 2, 3, true}, bgra = {4, 2, 1, 0, 3, true},
                        bgrx = {4, 2, 1, 0, 0, false};
    if (l.has_alpha && read_by_alpha(k))
        opaque_row(k, y, p, l.step, l.alpha);
    else if (l == grey)
        samples_row(k, y, p, grey, false);
    else if (l == grey_alpha)
        samples_row(k, y, p, grey_alpha, false);
    else if (l == rgb)
        samples_row(k, y, p, rgb, false);
    else if (l == bgr)
        samples_row(k, y, p, bgr, false);
    else if (l == rgba)
        samples_row(k, y, p, rgba, false);
    else if (l == bgra)
        samples_row(k, y, p, bgra, false);
    else if (l == bgrx)
        samples_row(k, y, p, bgrx, false);
    else
        samples_row(k, y, p, l, false);
}

// A pixel of 8-bit red, green and blue: its dark bit where `dark`, and
// above it whether it is opaque, not the key's colour.
[[gnu::always_inline]] static inline std::uint32_t keyed_ink(const unsigned char *q, const unsigned char key[3],
                                                             bool dark)
{
    std::uint32_t opaque = ((q[0] ^ key[0]) | (q[1] ^ key[1]) | (q[2] ^ key[2])) != 0 ? 1U << 8 : 0;
    return (dark ? dark_bit(q[0], q[1], q[2]) : 0) | opaque;
}

[[gnu::always_inline]] static inline void keyed_row(ink &k, size_t y, const unsigned char *p,
                                                    const unsigned char key[3], bool dark)
{
    std::uint32_t row_opaque = 0xFFFF, any_opaque = 0;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 24) {
        std::uint32_t bits = 0;
        if (one_colour(p, 3))
            bits = keyed_ink(p, key, dark) * 0xFF;
        else
            for (size_t i = 8; i-- > 0;)
                bits = 2 * bits + keyed_ink(p + 3 * i, key, dark);
        any_opaque |= bits >> 8;
        put_inks(k, y, col, bits, row_opaque);
    }
    put_row(k, row_opaque, any_opaque != 0); // alpha is 255 wherever it is not 0
}

void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3])
{
    const unsigned char copy[3] = {key[0], key[1], key[2]}; // apart from the planes the loop stores to
    if (read_by_alpha(k))
        keyed_row(k, y, p, copy, false);
    else
        keyed_row(k, y, p, copy, true);
}

void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const layout &l)
{
    static const layout grey = {2, 0, 0, 0, 0, false}, grey_alpha = {4, 0, 0, 0, 2, true}, rgb = {6, 0, 2, 4, 0, false},
                        rgba = {8, 0, 2, 4, 6, true};
    if (l.has_alpha && read_by_alpha(k))
        opaque_row(k, y, p, l.step, l.alpha);
    else if (l == grey)
        samples_row(k, y, p, grey, true);
    else if (l == grey_alpha)
        samples_row(k, y, p, grey_alpha, true);
    else if (l == rgb)
        samples_row(k, y, p, rgb, true);
    else if (l == rgba)
        samples_row(k, y, p, rgba, true);
    else
        samples_row(k, y, p, l, true);
}

bool make_field(std::uint32_t mask, bit_field &f)
{
    f = {mask, 0, 0};
    if (mask == 0)
        return true;
    while ((mask >> f.shift & 1) == 0)
        f.shift++;
    f.max = mask >> f.shift;
    return (f.max & (std::uint64_t{f.max} + 1)) == 0; // contiguous
}

bool make_field_inks(const bit_field fields[4], field_inks &t)
{
    static const unsigned weight[3] = {299, 587, 114};
    for (size_t c = 0; c < 4; c++) {
        const bit_field &f = t.fields[c] = fields[c];
        if (f.max > 255)
            return false;
        for (std::uint32_t v = 0; v <= f.max; v++) {
            unsigned eight = f.mask == 0 ? (c == 3 ? 255 : 0) : to_8_bits(v, f.max);
            if (c < 3)
                t.weights[c][v] = weight[c] * eight;
            else
                t.alphas[v] = static_cast<unsigned char>(eight);
        }
    }
    return true;
}

// Where fields stand: their shifts and largest values, red, green, blue
// and alpha.
struct field_shape {
    std::uint32_t shift[4], max[4];
};

static bool operator==(const field_shape &shape, const bit_field f[4])
{
    for (size_t c = 0; c < 4; c++)
        if (shape.shift[c] != f[c].shift || shape.max[c] != f[c].max)
            return false;
    return true;
}

// As samples_row, for bit fields, copied for each size of pixel and each
// shape of fields writers use, so that the shifts are constants.
[[gnu::always_inline]] static inline void fields_row(ink &k, size_t y, const unsigned char *p, size_t bytes,
                                                     const field_shape &f, const field_inks &t)
{
    // The tables held apart from `t`, which the compiler cannot know the
    // stores to the planes leave as it is.
    const std::uint32_t *w0 = t.weights[0], *w1 = t.weights[1], *w2 = t.weights[2];
    const unsigned char *alpha = t.alphas;
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 8 * bytes) {
        std::uint32_t dark = 0, opaque = 0;
        for (size_t i = 8; i-- > 0;) {
            const unsigned char *q = p + i * bytes;
            std::uint32_t v = q[0] | static_cast<std::uint32_t>(q[1]) << 8;
            if (bytes == 4)
                v |= static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
            std::uint32_t sum =
                w0[v >> f.shift[0] & f.max[0]] + w1[v >> f.shift[1] & f.max[1]] + w2[v >> f.shift[2] & f.max[2]];
            std::uint32_t a = alpha[v >> f.shift[3] & f.max[3]];
            dark = 2 * dark + ((sum - 128000) >> 31);
            opaque = 2 * opaque + (a >> 7);
            alphas |= a;
        }
        put_inks(k, y, col, dark | opaque << 8, row_opaque);
    }
    put_row(k, row_opaque, alphas != 0);
}

void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t)
{
    // 5-6-5 and 5-5-5, without alpha or with a bit of it, and 4-4-4-4.
    static const field_shape rgb565 = {{11, 5, 0, 0}, {31, 63, 31, 0}}, rgb555 = {{10, 5, 0, 0}, {31, 31, 31, 0}},
                             argb1555 = {{10, 5, 0, 15}, {31, 31, 31, 1}}, argb4444 = {{8, 4, 0, 12}, {15, 15, 15, 15}};
    const field_shape any = {{t.fields[0].shift, t.fields[1].shift, t.fields[2].shift, t.fields[3].shift},
                             {t.fields[0].max, t.fields[1].max, t.fields[2].max, t.fields[3].max}};
    if (bytes == 2 && rgb565 == t.fields)
        fields_row(k, y, p, 2, rgb565, t);
    else if (bytes == 2 && rgb555 == t.fields)
        fields_row(k, y, p, 2, rgb555, t);
    else if (bytes == 2 && argb1555 == t.fields)
        fields_row(k, y, p, 2, argb1555, t);
    else if (bytes == 2 && argb4444 == t.fields)
        fields_row(k, y, p, 2, argb4444, t);
    else if (bytes == 2)
        fields_row(k, y, p, 2, any, t);
    else
        fields_row(k, y, p, 4, any, t);
}

std::uint32_t field_ink(const field_inks &t, std::uint32_t v)
{
    const bit_field *f = t.fields;
    std::uint32_t sum = t.weights[0][(v & f[0].mask) >> f[0].shift] + t.weights[1][(v & f[1].mask) >> f[1].shift] +
                        t.weights[2][(v & f[2].mask) >> f[2].shift];
    unsigned a = t.alphas[(v & f[3].mask) >> f[3].shift];
    return ((sum - 128000) >> 31) | ink_of(255, 255, 255, a); // white: only the alpha's bits
}

void mirror_row(ink &k, size_t y)
{
    for (unsigned char *plane : {k.dark, k.opaque}) {
        unsigned char *row = plane + y * SHEET_ROW_BYTES;
        for (size_t col = 0; col < SHEET_ROW_BYTES / 2; col++) {
            auto left = static_cast<unsigned char>(reverse_bits(row[col]));
            row[col] = static_cast<unsigned char>(reverse_bits(row[SHEET_ROW_BYTES - 1 - col]));
            row[SHEET_ROW_BYTES - 1 - col] = left;
        }
    }
}
