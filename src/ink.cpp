// The ink rule and its row loops.
#include <cstring>
#include <initializer_list>

#include "ink.h"

void start_ink(ink &k, unsigned width, unsigned height, bool zero_alpha_is_opaque)
{
    k.width = width;
    k.height = height;
    k.row_bytes = width / 8;
    // Every row of the planes is written whole, by a row loop or put_ink.
    k.transparent = 0;
    k.alpha_anywhere = false;
    k.by_alpha = false;
    k.zero_alpha_is_opaque = zero_alpha_is_opaque;
    k.keep_grey = true;
}

// The set bits of a word, without the compiler's builtin, which may need a
// library of its own: each byte's count, at most 8, then the bytes' added
// in one multiply.
static size_t ones_in(std::uint64_t w)
{
    const std::uint64_t all = ~std::uint64_t{0}, pairs = all / 3, nibbles = all / 5, octets = all / 17;
    w -= w >> 1 & pairs;
    w = (w & nibbles) + (w >> 2 & nibbles);
    return static_cast<size_t>(((w + (w >> 4)) & octets) * (all / 255) >> 56);
}

// Counted a word at a time: each byte's count, at most 8, summed over
// eight words, then the bytes' sums, at most 64, added in pairs and the
// pairs' in one multiply.
size_t ones(const unsigned char *bits, size_t bytes)
{
    const std::uint64_t all = ~std::uint64_t{0}, pairs = all / 3, nibbles = all / 5, octets = all / 17;
    size_t n = 0;
    for (size_t i = 0; i < bytes; i += 64) {
        std::uint64_t sum = 0;
        for (size_t j = 0; j < 64; j += 8) {
            std::uint64_t w;
            memcpy(&w, bits + i + j, 8);
            w -= w >> 1 & pairs;
            w = (w & nibbles) + (w >> 2 & nibbles);
            sum += (w + (w >> 4)) & octets;
        }
        const std::uint64_t low_bytes = all / 257;
        sum = (sum & low_bytes) + (sum >> 8 & low_bytes);
        n += static_cast<size_t>(sum * (all / 65535) >> 48);
    }
    return n;
}

// The set bits of `a` that are set in `b` too, `bytes` a multiple of 8.
static size_t ones_of_both(const unsigned char *a, const unsigned char *b, size_t bytes)
{
    size_t n = 0;
    for (size_t i = 0; i < bytes; i += 8) {
        std::uint64_t x, y;
        memcpy(&x, a + i, 8);
        memcpy(&y, b + i, 8);
        n += ones_in(x & y);
    }
    return n;
}

// Each row's grey levels, the plain way, where they are wanted.
static unsigned char *grey_row(ink &k, size_t y) // cppcheck-suppress constParameter
{
    return k.grey + y * k.width;
}

// Whether so many pixels are less than half opaque that the transparency
// decides, whatever the rest of the picture holds.
static bool transparency_decides(const ink &k)
{
    std::uint64_t all = std::uint64_t{k.width} * k.height;
    return 16 * k.transparent >= all && (k.alpha_anywhere || !k.zero_alpha_is_opaque);
}

// Row y's opaque pixels, where a row of the picture is of whole words:
// whether they lie on both sides of mid-grey.
static bool both_sides(const ink &k, size_t y)
{
    std::uint64_t dark = 0, light = 0;
    for (size_t i = 0; i < k.row_bytes; i += 8) {
        std::uint64_t d, o;
        memcpy(&d, k.dark + y * k.row_bytes + i, 8);
        memcpy(&o, k.opaque + y * k.row_bytes + i, 8);
        dark |= d & o;
        light |= ~d & o;
    }
    return dark != 0 && light != 0;
}

// Once row y's planes are put: whether its grey levels are still wanted.
// They stop being so once a row holds opaque pixels on both sides of
// mid-grey, as the whole picture then does, or the transparency decides.
[[gnu::noinline]] static bool still_wants_grey(ink &k, size_t y)
{
    k.keep_grey = !transparency_decides(k) && !both_sides(k, y);
    return k.keep_grey;
}

static inline bool wants_grey(ink &k, size_t y) { return k.keep_grey && still_wants_grey(k, y); }

// Rule 3 with the split moved half-way between the darkest and the
// lightest of the opaque pixels, `opaque` (nullptr: all), where they are
// not all one grey level: the side with fewer is the ink, the darker on a
// tie. False where they are all one grey level.
static bool split_between(const ink &k, const unsigned char *opaque, glyph_sheet &sheet)
{
    size_t all = size_t{k.width} * k.height;
    auto counts = [&](size_t i) { return opaque == nullptr || (opaque[i / 8] >> (i % 8) & 1) != 0; };
    unsigned least = 255, most = 0;
    for (size_t i = 0; i < all; i++)
        if (counts(i)) {
            least = k.grey[i] < least ? k.grey[i] : least;
            most = k.grey[i] > most ? k.grey[i] : most;
        }
    if (least >= most)
        return false;
    unsigned split = (least + most + 1) / 2;
    size_t darker = 0, counted = 0;
    for (size_t i = 0; i < all; i++)
        if (counts(i)) {
            counted++;
            darker += k.grey[i] < split ? 1 : 0;
        }
    bool darker_ink = darker <= counted - darker;
    sheet.ink = darker_ink ? ink_from::darker : ink_from::lighter;
    memset(sheet.bits, 0, all / 8);
    for (size_t i = 0; i < all; i++)
        if (counts(i) && (k.grey[i] < split) == darker_ink)
            sheet.bits[i / 8] = static_cast<unsigned char>(sheet.bits[i / 8] | 1U << (i % 8));
    return true;
}

void finish_ink(ink &k, glyph_sheet &sheet, const grey_source *again)
{
    size_t bytes = k.row_bytes * k.height, all = 8 * bytes;
    sheet.width = k.width;
    sheet.height = k.height;
    if (transparency_decides(k)) {
        sheet.ink = ink_from::transparency;
        memcpy(sheet.bits, k.opaque, bytes);
        return;
    }
    // The opaque pixels decide; where alpha 0 everywhere is none, all are.
    bool all_opaque = k.transparent == 0 || (k.zero_alpha_is_opaque && !k.alpha_anywhere);
    const unsigned char *opaque = all_opaque ? nullptr : k.opaque;
    size_t counted = all_opaque ? all : all - static_cast<size_t>(k.transparent);
    size_t dark = all_opaque ? ones(k.dark, bytes) : ones_of_both(k.dark, k.opaque, bytes);
    if ((dark == 0 || dark == counted) && again != nullptr) {
        for (size_t y = 0; y < k.height; y++)
            again->row(again->reader, y, grey_row(k, y));
        k.keep_grey = true;
    }
    if ((dark == 0 || dark == counted) && k.keep_grey && split_between(k, opaque, sheet))
        return;
    bool dark_ink = dark <= counted - dark || dark == counted;
    sheet.ink = dark_ink ? ink_from::dark : ink_from::light;
    if (dark_ink && opaque == nullptr) {
        memcpy(sheet.bits, k.dark, bytes);
        return;
    }
    for (size_t i = 0; i < bytes; i += 8) {
        std::uint64_t d, o = ~std::uint64_t{0};
        memcpy(&d, k.dark + i, 8);
        if (opaque != nullptr)
            memcpy(&o, opaque + i, 8);
        d = (dark_ink ? d : ~d) & o;
        memcpy(sheet.bits + i, &d, 8);
    }
}

bool mostly_ink(const glyph_sheet &sheet)
{
    size_t bytes = size_t{sheet.width} / 8 * sheet.height, all = 8 * bytes, set = ones(sheet.bits, bytes);
    return set > all - set && set < all;
}

void grey_inks(std::uint32_t inks[256], unsigned char greys[256], unsigned max)
{
    for (unsigned v = 0; v < 256; v++) {
        unsigned grey = v <= max ? to_8_bits(v, max) : 0;
        inks[v] = v <= max ? ink_of(grey, grey, grey, 255) : NO_COLOUR;
        greys[v] = static_cast<unsigned char>(grey);
    }
}

// Byte `col` of row y of both planes, rows of `row_bytes`: the dark pixels
// in the low byte of `bits`, the opaque ones in the next. `opaque` keeps
// the opaque pixels of the whole row, for `put_row` to tell whether any is
// see-through. The row loops give their own row length, a constant, which
// unlike k.row_bytes no store to the planes can be taken to change.
static void put_inks(ink &k, size_t y, size_t col, std::uint32_t bits, std::uint32_t &opaque, size_t row_bytes)
{
    k.dark[y * row_bytes + col] = static_cast<unsigned char>(bits);
    k.opaque[y * row_bytes + col] = static_cast<unsigned char>(bits >> 8);
    opaque &= bits;
}

// Row y's count of pixels less than half opaque, where `opaque`, every
// byte's opaque bits ANDed, says it has one, and whether any alpha is not 0.
// Counted apart from the row loops, which most rows never need.
[[gnu::noinline]] static void count_transparent(ink &k, size_t y)
{
    for (size_t i = 0; i < k.row_bytes; i += 8) {
        std::uint64_t o;
        memcpy(&o, k.opaque + y * k.row_bytes + i, 8);
        k.transparent += ones_in(~o);
    }
    k.by_alpha = transparency_decides(k);
}

static inline void put_row(ink &k, size_t y, std::uint32_t opaque, bool alpha)
{
    if (alpha && !k.alpha_anywhere) {
        k.alpha_anywhere = true;
        k.by_alpha = transparency_decides(k);
    }
    // Once the transparency decides, no count can change that.
    if ((opaque & 0xFF00) != 0xFF00 && !k.by_alpha)
        count_transparent(k, y);
}

// Each row loop is called with the row's length in bytes of a plane, 8 or
// 16, as a constant, so that its loops are unrolled for each width.
#define FOR_EACH_WIDTH(k, row_loop, ...) ((k).row_bytes == 8 ? row_loop(__VA_ARGS__, 8) : row_loop(__VA_ARGS__, 16))

// Each byte is built from its rightmost pixel on, each pixel's ink added
// to twice the sum so far: its dark and opaque bits go in below those
// before, and its alpha and NO_COLOUR bits stay above them.
[[gnu::always_inline]] static inline bool values_row(ink &k, size_t y, const unsigned char *values,
                                                     const std::uint32_t inks[256], size_t row_bytes)
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, values += 8) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + inks[values[i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    put_row(k, y, opaque, (seen & 0xFF0000) != 0);
    return seen >> 24 == 0;
}

void values_greys(const unsigned char *values, size_t n, const unsigned char greys[256], unsigned char *grey)
{
    if (same_bytes(values, values + 1, n - 1)) {
        memset(grey, greys[values[0]], n);
        return;
    }
    for (size_t x = 0; x < n; x++)
        grey[x] = greys[values[x]];
}

bool ink_values(ink &k, size_t y, const unsigned char *values, const std::uint32_t inks[256],
                const unsigned char greys[256])
{
    if (!FOR_EACH_WIDTH(k, values_row, k, y, values, inks))
        return false;
    if (wants_grey(k, y))
        values_greys(values, k.width, greys, grey_row(k, y));
    return true;
}

// As values_row, each pixel's ink given.
[[gnu::always_inline]] static inline void pixels_row(ink &k, size_t y, const std::uint32_t *inks, size_t row_bytes)
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, inks += 8) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + inks[i];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    put_row(k, y, opaque, (seen & 0xFF0000) != 0);
}

void ink_pixels(ink &k, size_t y, const std::uint32_t *inks, const unsigned char *greys)
{
    FOR_EACH_WIDTH(k, pixels_row, k, y, inks);
    if (wants_grey(k, y))
        memcpy(grey_row(k, y), greys, k.width);
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

// As values_row, a byte of pixels at a time: each byte's inks go in above
// those of the bytes to its left. Copied for each depth, so that the
// shifts are constants.
[[gnu::always_inline]] static inline bool packed_row(ink &k, size_t y, const unsigned char *packed, unsigned depth,
                                                     const std::uint32_t table[256], size_t row_bytes)
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, packed += depth) {
        std::uint32_t bits = 0;
        for (size_t i = depth; i-- > 0;)
            bits = (bits << (8 / depth)) + table[packed[i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    put_row(k, y, opaque, (seen & 0xFF0000) != 0);
    return seen >> 24 == 0;
}

// Value x of a row packed `depth` bits each, leftmost first.
static unsigned packed_value(const unsigned char *packed, size_t x, unsigned depth)
{
    size_t bit = x * depth;
    return packed[bit / 8] >> (8 - depth - bit % 8) & ((1U << depth) - 1);
}

void packed_greys(const unsigned char *packed, size_t n, unsigned depth, const unsigned char greys[256],
                  unsigned char *grey)
{
    size_t bytes = n * depth / 8, each = 8 / depth;
    if (!same_bytes(packed, packed + 1, bytes - 1)) {
        for (size_t x = 0; x < n; x++)
            grey[x] = greys[packed_value(packed, x, depth)];
        return;
    }
    for (size_t x = 0; x < each; x++)
        grey[x] = greys[packed_value(packed, x, depth)];
    for (size_t done = each; done < n; done *= 2)
        memcpy(grey + done, grey, done < n - done ? done : n - done);
}

bool ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const std::uint32_t table[256],
                const unsigned char greys[256])
{
    bool ok = depth == 1   ? FOR_EACH_WIDTH(k, packed_row, k, y, packed, 1, table)
              : depth == 2 ? FOR_EACH_WIDTH(k, packed_row, k, y, packed, 2, table)
                           : FOR_EACH_WIDTH(k, packed_row, k, y, packed, 4, table);
    if (ok && wants_grey(k, y))
        packed_greys(packed, k.width, depth, greys, grey_row(k, y));
    return ok;
}

bool first_no_colour(const unsigned char *packed, size_t n, unsigned depth, const std::uint32_t inks[256],
                     unsigned &value)
{
    for (size_t i = 0; i < n; i++) {
        value = packed_value(packed, i, depth);
        if (inks[value] == NO_COLOUR)
            return true;
    }
    return false;
}

// A row of one bit a pixel is a 64-bit word for each 64 pixels: each
// plane's word takes the 1s where a 1 sets it, and the 0s where a 0 does.
void ink_bits(ink &k, size_t y, const unsigned char *packed, const std::uint32_t inks[2], const unsigned char greys[2])
{
    const std::uint32_t zero = inks[0], one = inks[1];
    const std::uint64_t all = ~std::uint64_t{0}, low = all / 3, pairs = all / 5, nibbles = all / 17;
    const std::uint64_t dark_ones = (one & INK_DARK) != 0 ? all : 0, dark_zeros = (zero & INK_DARK) != 0 ? all : 0;
    const std::uint64_t opaque_ones = (one & INK_OPAQUE) != 0 ? all : 0;
    const std::uint64_t opaque_zeros = (zero & INK_OPAQUE) != 0 ? all : 0;
    std::uint64_t seen_ones = 0, seen_zeros = 0, opaque_all = all;
    for (size_t at = 0; at < k.row_bytes; at += 8) {
        std::uint64_t b;
        memcpy(&b, packed + at, 8);
        // Each byte's bits mirrored, the leftmost pixel to the lowest bit.
        b = (b & low) << 1 | (b >> 1 & low);
        b = (b & pairs) << 2 | (b >> 2 & pairs);
        b = (b & nibbles) << 4 | (b >> 4 & nibbles);
        std::uint64_t n = ~b, dark = (b & dark_ones) | (n & dark_zeros),
                      opaque = (b & opaque_ones) | (n & opaque_zeros);
        memcpy(k.dark + y * k.row_bytes + at, &dark, 8);
        memcpy(k.opaque + y * k.row_bytes + at, &opaque, 8);
        seen_ones |= b;
        seen_zeros |= n;
        opaque_all &= opaque;
    }
    std::uint32_t seen = (seen_ones != 0 ? one : 0) | (seen_zeros != 0 ? zero : 0);
    put_row(k, y, opaque_all != all ? 0 : 0xFFFF, (seen & INK_ALPHA) != 0);
    if (wants_grey(k, y))
        packed_greys(packed, k.width, 1, greys, grey_row(k, y));
}

// Whether the eight pixels of `step` bytes, 2 or more, from `p` are of one
// colour, as most of a drawing's are: each byte that of the pixel before.
[[gnu::always_inline]] static inline bool one_colour(const unsigned char *p, size_t step)
{
    return same_bytes(p, p + step, 7 * step);
}

// Once so many pixels are less than half opaque that the transparency
// decides, the picture is read by its alpha alone, and how dark a pixel is
// no longer matters: a row's opaque pixels, by the top bit of each alpha
// (of 8 bits, or the high byte of 16), and its dark ones left out.
static bool read_by_alpha(const ink &k) { return k.by_alpha; }

static void opaque_row(ink &k, size_t y, const unsigned char *p, size_t step, size_t alpha)
{
    const size_t row_bytes = k.row_bytes;
    std::uint32_t row_opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, p += 8 * step) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + (p[i * step + alpha] >> 7);
        put_inks(k, y, col, bits << 8, row_opaque, row_bytes);
    }
}

// One pixel of 8-bit samples: its dark bit, and its opaque bit above.
[[gnu::always_inline]] static inline std::uint32_t colour_ink(const unsigned char *q, const sample_places &l,
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
static std::uint32_t exact_dark_bit(const unsigned char *q, const sample_places &l)
{
    return dark_bit(deep(q + l.red), deep(q + l.green), deep(q + l.blue));
}

static inline std::uint32_t deep_dark_bit(const unsigned char *q, const sample_places &l)
{
    std::uint32_t near = 299U * q[l.red] + 587U * q[l.green] + 114U * q[l.blue];
    return near - 127000 < 2000 ? exact_dark_bit(q, l) : (near - 128000) >> 31;
}

// As colour_ink, for 16-bit samples. As 8 bits an alpha is at least 128
// from 32768 on, and not 0 from 129 on.
[[gnu::always_inline]] static inline std::uint32_t deep_ink(const unsigned char *q, const sample_places &l,
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
[[gnu::always_inline]] static inline void samples_row(ink &k, size_t y, const unsigned char *p, const sample_places &l,
                                                      bool sixteen, size_t row_bytes)
{
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, p += 8 * l.step) {
        std::uint32_t bits = 0;
        if (l.step > 1 && one_colour(p, l.step))
            bits = (sixteen ? deep_ink(p, l, alphas) : colour_ink(p, l, alphas)) * 0xFF;
        else
            for (size_t i = 8; i-- > 0;) {
                const unsigned char *q = p + i * l.step;
                bits = 2 * bits + (sixteen ? deep_ink(q, l, alphas) : colour_ink(q, l, alphas));
            }
        put_inks(k, y, col, bits, row_opaque, row_bytes);
    }
    put_row(k, y, row_opaque, l.has_alpha && alphas != 0);
}

void samples_greys(const unsigned char *p, size_t n, const sample_places &l, bool sixteen, unsigned char *grey)
{
    auto level = [&](const unsigned char *q) {
        return sixteen ? grey_of(deep(q + l.red), deep(q + l.green), deep(q + l.blue))
                       : grey_of(q[l.red], q[l.green], q[l.blue]);
    };
    if (same_bytes(p, p + l.step, (n - 1) * l.step)) {
        memset(grey, level(p), n);
        return;
    }
    for (size_t x = 0; x < n; x += 8, p += 8 * l.step) {
        if (l.step > 1 && one_colour(p, l.step)) {
            memset(grey + x, level(p), 8);
            continue;
        }
        for (size_t i = 0; i < 8; i++)
            grey[x + i] = level(p + i * l.step);
    }
}

static bool operator==(const sample_places &a, const sample_places &b)
{
    return a.step == b.step && a.red == b.red && a.green == b.green && a.blue == b.blue && a.has_alpha == b.has_alpha &&
           (!a.has_alpha || a.alpha == b.alpha);
}

void ink_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    static const sample_places grey = {1, 0, 0, 0, 0, false}, grey_alpha = {2, 0, 0, 0, 1, true},
                               rgb = {3, 0, 1, 2, 0, false}, bgr = {3, 2, 1, 0, 0, false}, rgba = {4, 0, 1, 2, 3, true},
                               bgra = {4, 2, 1, 0, 3, true}, bgrx = {4, 2, 1, 0, 0, false};
    if (l.has_alpha && read_by_alpha(k))
        opaque_row(k, y, p, l.step, l.alpha);
    else if (l == grey)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, grey, false);
    else if (l == grey_alpha)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, grey_alpha, false);
    else if (l == rgb)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, rgb, false);
    else if (l == bgr)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, bgr, false);
    else if (l == rgba)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, rgba, false);
    else if (l == bgra)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, bgra, false);
    else if (l == bgrx)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, bgrx, false);
    else
        samples_row(k, y, p, l, false, k.row_bytes);
    if (wants_grey(k, y))
        samples_greys(p, k.width, l, false, grey_row(k, y));
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
                                                    const unsigned char key[3], bool dark, size_t row_bytes)
{
    std::uint32_t row_opaque = 0xFFFF, any_opaque = 0;
    for (size_t col = 0; col < row_bytes; col++, p += 24) {
        std::uint32_t bits = 0;
        if (one_colour(p, 3))
            bits = keyed_ink(p, key, dark) * 0xFF;
        else
            for (size_t i = 8; i-- > 0;)
                bits = 2 * bits + keyed_ink(p + 3 * i, key, dark);
        any_opaque |= bits >> 8;
        put_inks(k, y, col, bits, row_opaque, row_bytes);
    }
    put_row(k, y, row_opaque, any_opaque != 0); // alpha is 255 wherever it is not 0
}

void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3])
{
    const unsigned char copy[3] = {key[0], key[1], key[2]}; // apart from the planes the loop stores to
    if (read_by_alpha(k))
        FOR_EACH_WIDTH(k, keyed_row, k, y, p, copy, false);
    else
        FOR_EACH_WIDTH(k, keyed_row, k, y, p, copy, true);
    static const sample_places rgb = {3, 0, 1, 2, 0, false};
    if (wants_grey(k, y))
        samples_greys(p, k.width, rgb, false, grey_row(k, y));
}

void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    static const sample_places grey = {2, 0, 0, 0, 0, false}, grey_alpha = {4, 0, 0, 0, 2, true},
                               rgb = {6, 0, 2, 4, 0, false}, rgba = {8, 0, 2, 4, 6, true};
    if (l.has_alpha && read_by_alpha(k))
        opaque_row(k, y, p, l.step, l.alpha);
    else if (l == grey)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, grey, true);
    else if (l == grey_alpha)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, grey_alpha, true);
    else if (l == rgb)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, rgb, true);
    else if (l == rgba)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, rgba, true);
    else
        samples_row(k, y, p, l, true, k.row_bytes);
    if (wants_grey(k, y))
        samples_greys(p, k.width, l, true, grey_row(k, y));
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
                                                     const field_shape &f, const field_inks &t, size_t row_bytes)
{
    // The tables held apart from `t`, which the compiler cannot know the
    // stores to the planes leave as it is.
    const std::uint32_t *w0 = t.weights[0], *w1 = t.weights[1], *w2 = t.weights[2];
    const unsigned char *alpha = t.alphas;
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < row_bytes; col++, p += 8 * bytes) {
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
        put_inks(k, y, col, dark | opaque << 8, row_opaque, row_bytes);
    }
    put_row(k, y, row_opaque, alphas != 0);
}

void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t)
{
    // 5-6-5 and 5-5-5, without alpha or with a bit of it, and 4-4-4-4.
    static const field_shape rgb565 = {{11, 5, 0, 0}, {31, 63, 31, 0}}, rgb555 = {{10, 5, 0, 0}, {31, 31, 31, 0}},
                             argb1555 = {{10, 5, 0, 15}, {31, 31, 31, 1}}, argb4444 = {{8, 4, 0, 12}, {15, 15, 15, 15}};
    const field_shape any = {{t.fields[0].shift, t.fields[1].shift, t.fields[2].shift, t.fields[3].shift},
                             {t.fields[0].max, t.fields[1].max, t.fields[2].max, t.fields[3].max}};
    if (bytes == 2 && rgb565 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, rgb565, t);
    else if (bytes == 2 && rgb555 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, rgb555, t);
    else if (bytes == 2 && argb1555 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, argb1555, t);
    else if (bytes == 2 && argb4444 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, argb4444, t);
    else if (bytes == 2)
        fields_row(k, y, p, 2, any, t, k.row_bytes);
    else
        fields_row(k, y, p, 4, any, t, k.row_bytes);
    if (wants_grey(k, y))
        for (size_t x = 0; x < k.width; x++, p += bytes)
            grey_row(k, y)[x] = field_grey(t, bytes == 2 ? le16(p) : le32(p));
}

unsigned char field_grey(const field_inks &t, std::uint32_t v)
{
    const bit_field *f = t.fields;
    std::uint32_t sum = t.weights[0][(v & f[0].mask) >> f[0].shift] + t.weights[1][(v & f[1].mask) >> f[1].shift] +
                        t.weights[2][(v & f[2].mask) >> f[2].shift];
    return static_cast<unsigned char>(sum / 1000);
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
    unsigned char *grey = grey_row(k, y);
    for (size_t x = 0; x < k.width / 2; x++) {
        unsigned char left = grey[x];
        grey[x] = grey[k.width - 1 - x];
        grey[k.width - 1 - x] = left;
    }
    for (unsigned char *plane : {k.dark, k.opaque}) {
        unsigned char *row = plane + y * k.row_bytes;
        for (size_t col = 0; col < k.row_bytes / 2; col++) {
            auto left = static_cast<unsigned char>(reverse_bits(row[col]));
            row[col] = static_cast<unsigned char>(reverse_bits(row[k.row_bytes - 1 - col]));
            row[k.row_bytes - 1 - col] = left;
        }
    }
}
