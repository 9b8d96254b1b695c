// What the readers of pictures share: reading the input forward and the
// ink rule.
#include <cstring>
#include <initializer_list>

#include "picture.h"

int look_ahead(FILE *in, lookahead &ahead)
{
    ahead.file = in;
    ahead.length = fread(ahead.start, 1, sizeof ahead.start, in);
    ahead.position = 0;
    ahead.ended = ahead.length < sizeof ahead.start;
    // A pipe cannot seek; moving nowhere tells a file from one.
    ahead.seekable = !ahead.ended && fseek(in, 0, SEEK_CUR) == 0;
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

// Each byte mirrored, made once, by the compiler.
struct mirrors {
    unsigned char of[256];
};
static constexpr mirrors mirrors_of()
{
    mirrors m{};
    for (int b = 0; b < 256; b++)
        m.of[b] = static_cast<unsigned char>(reverse_bits(b));
    return m;
}
static constexpr mirrors mirrored = mirrors_of();

void ink_bits(ink &k, size_t y, const unsigned char *packed, std::uint32_t zero, std::uint32_t one)
{
    // Each plane's byte takes the 1s where a 1 sets it, and the 0s where a
    // 0 does.
    std::uint32_t ones = 0, zeros = 0, opaque = 0xFFFF;
    std::uint32_t dark1 = (one & INK_DARK) * 0xFF, dark0 = (zero & INK_DARK) * 0xFF;
    std::uint32_t opaque1 = (one & INK_OPAQUE) * 0xFF, opaque0 = (zero & INK_OPAQUE) * 0xFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++) {
        std::uint32_t b = mirrored.of[packed[col]], n = b ^ 0xFF;
        put_inks(k, y, col, (b & dark1) | (n & dark0) | ((b << 8) & opaque1) | ((n << 8) & opaque0), opaque);
        ones |= b;
        zeros |= n;
    }
    std::uint32_t seen = (ones != 0 ? one : 0) | (zeros != 0 ? zero : 0);
    put_row(k, opaque, (seen & INK_ALPHA) != 0);
}

// The loop over a row of 8-bit colours, which `ink_colours` copies in whole
// for each layout pictures have, so that its offsets are constants and
// cost nothing.
// Each byte is built from its rightmost pixel on, each bit going in below
// the last.
[[gnu::always_inline]] static inline void colour_row(ink &k, size_t y, const unsigned char *p, const layout &l)
{
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 8 * l.step) {
        std::uint32_t dark = 0, opaque = l.has_alpha ? 0 : 0xFF;
        for (size_t i = 8; i-- > 0;) {
            const unsigned char *q = p + i * l.step;
            dark = 2 * dark + dark_bit(q[l.red], q[l.green], q[l.blue]);
            if (l.has_alpha) {
                std::uint32_t a = q[l.alpha];
                opaque = 2 * opaque + (a >> 7);
                alphas |= a;
            }
        }
        put_inks(k, y, col, dark | opaque << 8, row_opaque);
    }
    put_row(k, row_opaque, alphas != 0);
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
    if (l == grey)
        colour_row(k, y, p, grey);
    else if (l == grey_alpha)
        colour_row(k, y, p, grey_alpha);
    else if (l == rgb)
        colour_row(k, y, p, rgb);
    else if (l == bgr)
        colour_row(k, y, p, bgr);
    else if (l == rgba)
        colour_row(k, y, p, rgba);
    else if (l == bgra)
        colour_row(k, y, p, bgra);
    else if (l == bgrx)
        colour_row(k, y, p, bgrx);
    else
        colour_row(k, y, p, l);
}

void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3])
{
    const unsigned k0 = key[0], k1 = key[1], k2 = key[2];
    std::uint32_t row_opaque = 0xFFFF, any_opaque = 0;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 24) {
        std::uint32_t dark = 0, opaque = 0;
        for (size_t i = 8; i-- > 0;) {
            const unsigned char *q = p + 3 * i;
            dark = 2 * dark + dark_bit(q[0], q[1], q[2]);
            opaque = 2 * opaque + (((q[0] ^ k0) | (q[1] ^ k1) | (q[2] ^ k2)) != 0 ? 1 : 0);
        }
        any_opaque |= opaque;
        put_inks(k, y, col, dark | opaque << 8, row_opaque);
    }
    put_row(k, row_opaque, any_opaque != 0); // alpha is 255 wherever it is not 0
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

// As colour_row, for 16-bit samples. As 8 bits an alpha is at least 128
// from 32768 on, and not 0 from 129 on.
[[gnu::always_inline]] static inline void deep_row(ink &k, size_t y, const unsigned char *p, const layout &l)
{
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < SHEET_ROW_BYTES; col++, p += 8 * l.step) {
        std::uint32_t dark = 0, opaque = l.has_alpha ? 0 : 0xFF;
#pragma GCC unroll 8
        for (size_t i = 8; i-- > 0;) {
            const unsigned char *q = p + i * l.step;
            dark = 2 * dark + deep_dark_bit(q, l);
            if (l.has_alpha) {
                std::uint32_t a = static_cast<std::uint32_t>(q[l.alpha]) << 8 | q[l.alpha + 1];
                opaque = 2 * opaque + (a >> 15);
                alphas |= (a + 127) >> 8;
            }
        }
        put_inks(k, y, col, dark | opaque << 8, row_opaque);
    }
    put_row(k, row_opaque, alphas != 0);
}

void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const layout &l)
{
    static const layout grey = {2, 0, 0, 0, 0, false}, grey_alpha = {4, 0, 0, 0, 2, true}, rgb = {6, 0, 2, 4, 0, false},
                        rgba = {8, 0, 2, 4, 6, true};
    if (l == grey)
        deep_row(k, y, p, grey);
    else if (l == grey_alpha)
        deep_row(k, y, p, grey_alpha);
    else if (l == rgb)
        deep_row(k, y, p, rgb);
    else if (l == rgba)
        deep_row(k, y, p, rgba);
    else
        deep_row(k, y, p, l);
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

// As colour_row, for bit fields, copied for each size of pixel and each
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
