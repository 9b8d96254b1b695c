// The ink rule and its row loops.
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "ink.h"
#include "picture.h"

int fit_ink(ink &k, const told &t, unsigned width, unsigned height, char why[REASON_SIZE])
{
    if (fit_layout(t, width, height, k.l, why) != 0)
        return 1;
    k.width = width;
    k.height = height;
    k.row_bytes = (size_t{width} + 63) / 64 * 8;
    k.covered = covers(k.l, width, height);
    k.choice = t.ink;
    k.told_colour = t.ink == ink_choice::colour || t.ink == ink_choice::paper;
    // Decided once, as a test the row loops take for every row.
    k.plain = k.told_colour || width < 8 || k.rgba != nullptr;
    memcpy(k.colour, t.colour, 3);
    return 0;
}

void start_ink(ink &k, bool zero_alpha_is_opaque)
{
    // Every row of the planes is written whole, by a row loop or put_pixel.
    k.transparent = 0;
    k.alpha_anywhere = false;
    k.by_alpha = false;
    k.zero_alpha_is_opaque = zero_alpha_is_opaque;
    k.keep_grey = k.choice == ink_choice::rule;
    k.by_value = false;
    k.again = nullptr;
    k.loop_for = nullptr;
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
// pairs' in one multiply; the bytes past the last 64 one word at a time.
size_t ones(const unsigned char *bits, size_t bytes)
{
    const std::uint64_t all = ~std::uint64_t{0}, pairs = all / 3, nibbles = all / 5, octets = all / 17;
    size_t n = 0, i = 0;
    for (; i + 64 <= bytes; i += 64) {
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
    for (; i < bytes; i += 8) {
        std::uint64_t w = 0;
        memcpy(&w, bits + i, bytes - i < 8 ? bytes - i : 8);
        n += ones_in(w);
    }
    return n;
}

// The set bits of `a` that are set in `b` too.
static size_t ones_of_both(const unsigned char *a, const unsigned char *b, size_t bytes)
{
    size_t n = 0;
    for (size_t i = 0; i < bytes; i += 8) {
        std::uint64_t x = 0, y = 0;
        size_t part = bytes - i < 8 ? bytes - i : 8;
        memcpy(&x, a + i, part);
        memcpy(&y, b + i, part);
        n += ones_in(x & y);
    }
    return n;
}

// Each row's grey levels, the plain way, where they are wanted.
static unsigned char *grey_row(ink &k, size_t y) // cppcheck-suppress constParameter
{
    return k.grey + y * k.width;
}

// The transparency decides where at least one pixel in sixteen of those
// counted is less than half opaque, and some alpha is not 0 where writers
// may leave alpha 0 in every pixel.
static bool decides_by_transparency(const ink &k, std::uint64_t transparent, std::uint64_t all)
{
    return 16 * transparent >= all && (k.alpha_anywhere || !k.zero_alpha_is_opaque);
}

// Whether so many pixels are less than half opaque that the transparency
// decides, whatever the rest of the picture holds: only where the rule
// decides and every pixel is read.
static bool transparency_decides(const ink &k)
{
    return k.choice == ink_choice::rule && k.covered &&
           decides_by_transparency(k, k.transparent, std::uint64_t{k.width} * k.height);
}

// Row y's opaque pixels: whether they lie on both sides of mid-grey. The
// planes' bits past a row's last pixel are 0.
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
// They stop being so, where every pixel is read, once a row holds opaque
// pixels on both sides of mid-grey, as the whole picture then does, or the
// transparency decides.
[[gnu::noinline]] static bool still_wants_grey(ink &k, size_t y)
{
    k.keep_grey = !k.covered || (!transparency_decides(k) && !both_sides(k, y));
    return k.keep_grey;
}

static inline bool wants_grey(ink &k, size_t y) { return k.keep_grey && still_wants_grey(k, y); }

// The font's planes, cut from the picture's: the opaque pixels, and each
// pixel's grey level, in the font's order.
static unsigned char cut_opaque[MOST_FONT_BYTES];
static unsigned char cut_grey[MOST_PIXELS];

// Where font pixel i, counting W a row, H rows a glyph, stands in the
// font's bytes: its byte, and its bit there.
static size_t font_byte(const font &f, size_t i, unsigned &bit)
{
    size_t row = i / f.l.cell_width, x = i % f.l.cell_width;
    bit = static_cast<unsigned>(x % 8);
    return row * f.row_bytes + x / 8;
}

// Rule 3 with the split moved half-way between the darkest and the
// lightest of the opaque pixels, `opaque` (nullptr: all), where they are
// not all one grey level: the side with fewer is the ink, the darker on a
// tie. False where they are all one grey level.
static bool split_between(const unsigned char *opaque, size_t pixels, font &f)
{
    auto counts = [&](size_t i) {
        unsigned bit = 0;
        size_t at = font_byte(f, i, bit);
        return opaque == nullptr || (opaque[at] >> bit & 1) != 0;
    };
    unsigned least = 255, most = 0;
    for (size_t i = 0; i < pixels; i++)
        if (counts(i)) {
            least = cut_grey[i] < least ? cut_grey[i] : least;
            most = cut_grey[i] > most ? cut_grey[i] : most;
        }
    if (least >= most)
        return false;
    unsigned split = (least + most + 1) / 2;
    size_t darker = 0, counted = 0;
    for (size_t i = 0; i < pixels; i++)
        if (counts(i)) {
            counted++;
            darker += cut_grey[i] < split ? 1 : 0;
        }
    bool darker_ink = darker <= counted - darker;
    f.ink = darker_ink ? ink_from::darker : ink_from::lighter;
    memset(f.data, 0, f.length);
    for (size_t i = 0; i < pixels; i++) {
        unsigned bit = 0;
        size_t at = font_byte(f, i, bit);
        if (counts(i) && (cut_grey[i] < split) == darker_ink)
            f.data[at] = static_cast<unsigned char>(f.data[at] | 1U << bit);
    }
    return true;
}

// The font's bits: those now in it, or where `turned` all others, of the
// pixels in `opaque` (nullptr: all), none past each row's W pixels.
static void keep_side(font &f, bool turned, const unsigned char *opaque)
{
    if (!turned && opaque == nullptr)
        return;
    unsigned char used[4];
    for (size_t i = 0; i < f.row_bytes; i++) {
        size_t left = f.l.cell_width - 8 * i;
        used[i] = static_cast<unsigned char>(left >= 8 ? 0xFF : (1U << left) - 1);
    }
    for (size_t row = 0; f.row_bytes > 0 && row < f.length; row += f.row_bytes)
        for (size_t j = 0, i = row; j < f.row_bytes; j++, i++) {
            auto b = static_cast<unsigned char>(turned ? ~f.data[i] : f.data[i]);
            f.data[i] = static_cast<unsigned char>(b & used[j] & (opaque != nullptr ? opaque[i] : 0xFF));
        }
}

// One-bit pixels kept by value, for a choice other than the rule: each
// byte of their bits, `bits`, as the pixels of 1 and of 0 are dark (or of
// the colour told) and opaque.
static void by_colours(const ink &k, const unsigned char *bits, size_t n, unsigned char *dark, unsigned char *opaque)
{
    bool darks[2], opaques[2];
    for (size_t v = 0; v < 2; v++) {
        const unsigned char *c = k.bit_colours[v];
        darks[v] = k.told_colour ? memcmp(c, k.colour, 3) == 0 : dark_bit(c[0], c[1], c[2]) != 0;
        opaques[v] = c[3] >= 128;
    }
    for (size_t i = 0; i < n; i++) {
        unsigned b = bits[i];
        dark[i] = static_cast<unsigned char>((darks[1] ? b : 0) | (darks[0] ? ~b : 0));
        opaque[i] = static_cast<unsigned char>((opaques[1] ? b : 0) | (opaques[0] ? ~b : 0));
    }
}

// Rules 2 and 3 over the font's pixels, its dark ones in `f`, the opaque
// ones in `opaque` (nullptr: all), `transparent` of them not.
static void by_rule(ink &k, font &f, const unsigned char *opaque, size_t pixels, size_t transparent)
{
    if (opaque != nullptr && decides_by_transparency(k, transparent, pixels)) {
        f.ink = ink_from::transparency;
        memcpy(f.data, opaque, f.length);
        return;
    }
    size_t counted = pixels - transparent;
    size_t dark = opaque == nullptr ? ones(f.data, f.length) : ones_of_both(f.data, opaque, f.length);
    if ((dark == 0 || dark == counted) && (k.keep_grey || k.again != nullptr)) {
        for (size_t y = 0; k.again != nullptr && y < k.height; y++)
            k.again->row(k.again->reader, y, grey_row(k, y));
        cut_bytes(k.grey, k.width, k.l, cut_grey);
        if (split_between(opaque, pixels, f))
            return;
    }
    bool dark_ink = dark <= counted - dark || dark == counted;
    f.ink = dark_ink ? ink_from::dark : ink_from::light;
    keep_side(f, !dark_ink, opaque);
}

static int refuse_colour(const ink &k, char why[REASON_SIZE])
{
    const unsigned char *c = k.colour;
    return refuse(why, "no pixel of the cells is #%02X%02X%02X", c[0], c[1], c[2]);
}

int finish_font(ink &k, font &f, char why[REASON_SIZE])
{
    f.l = k.l;
    f.row_bytes = (k.l.cell_width + 7) / 8;
    f.length = f.row_bytes * k.l.cell_height * k.l.count;
    const size_t pixels = size_t{k.l.cell_width} * k.l.cell_height * k.l.count;
    // Where the transparency decided as the picture was read, the font's
    // cells covering it, the font is its opaque pixels.
    if (k.by_alpha && !k.by_value) {
        cut_bits(k.opaque, k.row_bytes, k.l, f.data);
        f.ink = ink_from::transparency;
        return 0;
    }
    cut_bits(k.dark, k.row_bytes, k.l, f.data);
    if (k.by_value && k.choice == ink_choice::rule) {
        f.ink = ink_from::bits;
        return 0;
    }
    // The opaque pixels count; where alpha 0 everywhere is none, all are.
    const unsigned char *opaque = nullptr;
    size_t transparent = 0;
    if (k.by_value) {
        by_colours(k, f.data, f.length, f.data, cut_opaque);
        opaque = cut_opaque;
    } else if (k.transparent > 0 && !(k.zero_alpha_is_opaque && !k.alpha_anywhere)) {
        cut_bits(k.opaque, k.row_bytes, k.l, cut_opaque);
        opaque = cut_opaque;
    }
    if (opaque != nullptr)
        transparent = pixels - ones(opaque, f.length);
    f.ink = ink_from::told;
    switch (k.choice) {
    case ink_choice::rule: by_rule(k, f, opaque, pixels, transparent); break;
    case ink_choice::dark: keep_side(f, false, opaque); break;
    case ink_choice::light: keep_side(f, true, opaque); break;
    case ink_choice::opaque:
        memset(f.data, 0, f.length);
        keep_side(f, true, opaque);
        break;
    case ink_choice::colour:
    case ink_choice::paper:
        if (opaque == nullptr ? ones(f.data, f.length) == 0 : ones_of_both(f.data, opaque, f.length) == 0)
            return refuse_colour(k, why);
        keep_side(f, k.choice == ink_choice::paper, opaque);
        break;
    }
    return 0;
}

bool mostly_ink(const glyph_sheet &sheet)
{
    size_t bytes = size_t{sheet.width} / 8 * sheet.height, all = 8 * bytes, set = ones(sheet.bits, bytes);
    return set > all - set && set < all;
}

void set_greys(value_colours &c, unsigned max)
{
    // A grey level is its own grey level, and dark below 128, as
    // set_colour would work out for it.
    for (unsigned v = 0; v <= max; v++)
        c.greys[v] = static_cast<unsigned char>(max == 255 ? v : to_8_bits(v, max));
    for (unsigned v = 0; v <= max; v++) {
        unsigned char grey = c.greys[v];
        c.rgba[v][0] = c.rgba[v][1] = c.rgba[v][2] = grey;
        c.rgba[v][3] = 255;
        c.inks[v] = (grey < 128 ? std::uint32_t{INK_DARK} : 0U) | INK_OPAQUE | INK_ALPHA;
    }
    for (unsigned v = max + 1; v < 256; v++)
        set_no_colour(c, v);
}

void pack_colours(value_colours &c, unsigned depth)
{
    // Two colours, one bit a pixel, are inked a word at a time without it.
    if (depth == 1 && c.inks[0] != NO_COLOUR && c.inks[1] != NO_COLOUR)
        return;
    unsigned mask = (1U << depth) - 1;
    for (unsigned b = 0; b < 256; b++) {
        std::uint32_t bits = 0;
        for (unsigned i = 8 / depth; i-- > 0;)
            bits = 2 * bits + c.inks[b >> (8 - depth * (i + 1)) & mask];
        c.byte_inks[b] = bits;
    }
}

void put_pixel(ink &k, size_t x, size_t y, const unsigned char rgba[4])
{
    size_t at = y * k.row_bytes + x / 8;
    auto bit = static_cast<unsigned char>(1U << (x % 8));
    std::uint32_t w = ink_of(rgba[0], rgba[1], rgba[2], rgba[3]);
    bool dark = k.told_colour ? memcmp(rgba, k.colour, 3) == 0 : (w & INK_DARK) != 0;
    k.dark[at] = static_cast<unsigned char>((k.dark[at] & ~bit) | (dark ? bit : 0));
    k.opaque[at] = static_cast<unsigned char>((k.opaque[at] & ~bit) | ((w & INK_OPAQUE) != 0 ? bit : 0));
    k.grey[y * k.width + x] = grey_of(rgba[0], rgba[1], rgba[2]);
    if (k.rgba != nullptr)
        memcpy(k.rgba + 4 * (y * k.width + x), rgba, 4);
    k.transparent += (w & INK_OPAQUE) == 0 ? 1 : 0;
    k.alpha_anywhere = k.alpha_anywhere || (w & INK_ALPHA) != 0;
}

// The bytes of row y's planes past its last whole eight pixels, cleared
// for the pixels put the plain way and for the rows' words to be read
// whole.
static void clear_past(ink &k, size_t y, size_t from) // cppcheck-suppress constParameter
{
    memset(k.dark + y * k.row_bytes + from, 0, k.row_bytes - from);
    memset(k.opaque + y * k.row_bytes + from, 0, k.row_bytes - from);
}

// The bits of row y's last word past its last pixel cleared, which a row
// put pixel by pixel leaves as an earlier picture left them.
static void clear_past_end(ink &k, size_t y) // cppcheck-suppress constParameter
{
    if (k.width % 64 == 0)
        return;
    size_t last = size_t{k.width} / 64 * 8;
    std::uint64_t keep = (std::uint64_t{1} << (k.width % 64)) - 1, d, o;
    memcpy(&d, k.dark + y * k.row_bytes + last, 8);
    memcpy(&o, k.opaque + y * k.row_bytes + last, 8);
    d &= keep;
    o &= keep;
    memcpy(k.dark + y * k.row_bytes + last, &d, 8);
    memcpy(k.opaque + y * k.row_bytes + last, &o, 8);
}

void pixels_put(ink &k, size_t y)
{
    clear_past_end(k, y);
    if (k.keep_grey)
        (void)still_wants_grey(k, y);
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

// Row y's count of pixels less than half opaque, of its first `pixels`.
// Counted apart from the row loops, which most rows never need.
[[gnu::noinline]] static void count_transparent(ink &k, size_t y, size_t pixels)
{
    for (size_t x = 0; x < pixels; x += 64) {
        std::uint64_t o = 0;
        memcpy(&o, k.opaque + y * k.row_bytes + x / 8, 8);
        if (pixels - x < 64) // the row's last pixels: the bits past them count as opaque
            o |= ~std::uint64_t{0} << (pixels - x);
        k.transparent += 64 - ones_in(o);
    }
    k.by_alpha = transparency_decides(k);
}

// After a row's `pixels` first pixels are put: `opaque`, every byte's
// opaque bits ANDed, says whether one is see-through, `alpha` whether an
// alpha is not 0.
static inline void put_row(ink &k, size_t y, std::uint32_t opaque, bool alpha, size_t pixels)
{
    if (alpha && !k.alpha_anywhere) {
        k.alpha_anywhere = true;
        k.by_alpha = transparency_decides(k);
    }
    // Once the transparency decides, no count can change that.
    if ((opaque & 0xFF00) != 0xFF00 && !k.by_alpha)
        count_transparent(k, y, pixels);
}

void planes_put(ink &k, size_t y, bool alpha, bool all_opaque)
{
    clear_past_end(k, y);
    put_row(k, y, all_opaque ? 0xFFFF : 0, alpha, k.width);
    if (k.keep_grey)
        (void)still_wants_grey(k, y);
}

// Each row loop is called with its count of whole eights of pixels and its
// planes' row length, for a sheet constants, so that its loops are
// unrolled for each width.
#define FOR_EACH_WIDTH(k, row_loop, ...)                                                                               \
    ((k).width == 64    ? row_loop(__VA_ARGS__, 8, 8)                                                                  \
     : (k).width == 128 ? row_loop(__VA_ARGS__, 16, 16)                                                                \
                        : row_loop(__VA_ARGS__, (k).width / 8, (k).row_bytes))

// Whether a row is done once its whole eights are put: its width a whole
// number of words, as a sheet's is, and its grey levels not wanted.
static inline bool row_finished(const ink &k) { return k.width % 64 == 0 && !k.keep_grey; }

// After a row's whole eights: the pixels past them the plain way, each's
// colour given by `rgba_at`; and the row's grey levels, by `greys`, where
// they are wanted.
template <typename colour, typename levels> static void finish_row(ink &k, size_t y, colour rgba_at, levels greys)
{
    if (row_finished(k))
        return;
    size_t whole = size_t{k.width} / 8 * 8;
    if (whole < k.width || k.width % 64 != 0)
        clear_past(k, y, whole / 8);
    for (size_t x = whole; x < k.width; x++) {
        unsigned char rgba[4];
        rgba_at(x, rgba);
        put_pixel(k, x, y, rgba);
    }
    if (wants_grey(k, y))
        greys(grey_row(k, y));
}

// A row the plain way, pixel by pixel, where a colour is told.
template <typename colour> static void plain_row(ink &k, size_t y, colour rgba_at)
{
    for (size_t x = 0; x < k.width; x++) {
        unsigned char rgba[4];
        rgba_at(x, rgba);
        put_pixel(k, x, y, rgba);
    }
    pixels_put(k, y);
}

// Each byte is built from its rightmost pixel on, each pixel's ink added
// to twice the sum so far: its dark and opaque bits go in below those
// before, and its alpha and NO_COLOUR bits stay above them. A group with a
// value of no colour is looked into for the first such.
[[gnu::always_inline]] static inline bool values_row(ink &k, size_t y, const unsigned char *values,
                                                     const std::uint32_t inks[256], unsigned &bad, size_t groups,
                                                     size_t row_bytes)
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < groups; col++) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + inks[values[8 * col + i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    // A value of no colour marks what the row has seen; the loop then says
    // which, the first in the row, without a branch for every byte.
    if (seen >> 24 != 0) {
        size_t i = 0;
        while (inks[values[i]] != NO_COLOUR)
            i++;
        bad = values[i];
        return false;
    }
    put_row(k, y, opaque, (seen & 0xFF0000) != 0, 8 * groups);
    return true;
}

// Value x of a row packed `depth` bits each, leftmost first.
static unsigned packed_value(const unsigned char *packed, size_t x, unsigned depth)
{
    size_t bit = x * depth;
    return packed[bit / 8] >> (8 - depth - bit % 8) & ((1U << depth) - 1);
}

void values_greys(const unsigned char *packed, size_t n, unsigned depth, const unsigned char greys[256],
                  unsigned char *grey)
{
    size_t bytes = (n * depth + 7) / 8;
    if (bytes > 8 && same_bytes(packed, packed + 1, bytes - 1) && n * depth % 8 == 0) {
        size_t each = depth == 8 ? 1 : 8 / depth;
        for (size_t x = 0; x < each; x++)
            grey[x] = greys[depth == 8 ? packed[x] : packed_value(packed, x, depth)];
        for (size_t done = each; done < n; done *= 2)
            memcpy(grey + done, grey, done < n - done ? done : n - done);
        return;
    }
    for (size_t x = 0; x < n; x++)
        grey[x] = greys[depth == 8 ? packed[x] : packed_value(packed, x, depth)];
}

// The first value past the whole eights with no colour, if any.
static bool bad_past(const unsigned char *packed, size_t from, size_t n, unsigned depth, const value_colours &c,
                     unsigned &bad)
{
    for (size_t x = from; x < n; x++) {
        unsigned v = depth == 8 ? packed[x] : packed_value(packed, x, depth);
        if (c.inks[v] == NO_COLOUR) {
            bad = v;
            return true;
        }
    }
    return false;
}

// As values_row, a byte of pixels at a time: each byte's inks go in above
// those of the bytes to its left. Copied for each depth, so that the
// shifts are constants.
[[gnu::always_inline]] static inline bool packed_row(ink &k, size_t y, const unsigned char *packed, unsigned depth,
                                                     const value_colours &c, unsigned &bad, size_t groups,
                                                     size_t row_bytes)
{
    const std::uint32_t *table = c.byte_inks;
    std::uint32_t seen = 0, opaque = 0xFFFF;
    const unsigned char *start = packed;
    for (size_t col = 0; col < groups; col++, packed += depth) {
        std::uint32_t bits = 0;
        for (size_t i = depth; i-- > 0;)
            bits = (bits << (8 / depth)) + table[packed[i]];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    if (seen >> 24 != 0) // as in values_row
        return !bad_past(start, 0, 8 * groups, depth, c, bad);
    put_row(k, y, opaque, (seen & 0xFF0000) != 0, 8 * groups);
    return true;
}

// A row of one bit a pixel is a 64-bit word for each 64 pixels: each
// plane's word takes the 1s where a 1 sets it, and the 0s where a 0 does;
// a row's last whole bytes, short of 8, a word of them, its bits past them
// cleared, and opaque where they are not the row's.
struct bits_inks {
    std::uint64_t dark_ones, dark_zeros, opaque_ones, opaque_zeros;
    std::uint64_t seen_ones, seen_zeros, opaque_all;
};

static inline void bits_word(ink &k, size_t at, std::uint64_t b, std::uint64_t kept, bits_inks &i)
{
    const std::uint64_t all = ~std::uint64_t{0}, low = all / 3, pairs = all / 5, nibbles = all / 17;
    // Each byte's bits mirrored, the leftmost pixel to the lowest bit.
    b = (b & low) << 1 | (b >> 1 & low);
    b = (b & pairs) << 2 | (b >> 2 & pairs);
    b = (b & nibbles) << 4 | (b >> 4 & nibbles);
    std::uint64_t n = ~b & kept, dark = (b & i.dark_ones) | (n & i.dark_zeros),
                  opaque = (b & i.opaque_ones) | (n & i.opaque_zeros);
    memcpy(k.dark + at, &dark, 8);
    memcpy(k.opaque + at, &opaque, 8);
    i.seen_ones |= b;
    i.seen_zeros |= n;
    i.opaque_all &= opaque | ~kept;
}

static void bits_row(ink &k, size_t y, const unsigned char *packed, const std::uint32_t inks[2])
{
    const std::uint32_t zero = inks[0], one = inks[1];
    const std::uint64_t all = ~std::uint64_t{0};
    bits_inks i = {(one & INK_DARK) != 0 ? all : 0,
                   (zero & INK_DARK) != 0 ? all : 0,
                   (one & INK_OPAQUE) != 0 ? all : 0,
                   (zero & INK_OPAQUE) != 0 ? all : 0,
                   0,
                   0,
                   all};
    const size_t bytes = k.width / 8, row = y * k.row_bytes;
    size_t at = 0;
    for (; at + 8 <= bytes; at += 8) {
        std::uint64_t b;
        memcpy(&b, packed + at, 8);
        bits_word(k, row + at, b, all, i);
    }
    if (at < bytes) {
        unsigned char last[8] = {0};
        memcpy(last, packed + at, bytes - at);
        std::uint64_t b;
        memcpy(&b, last, 8);
        bits_word(k, row + at, b, (std::uint64_t{1} << (8 * (bytes - at))) - 1, i);
    }
    std::uint32_t seen = (i.seen_ones != 0 ? one : 0) | (i.seen_zeros != 0 ? zero : 0);
    put_row(k, y, i.opaque_all != all ? 0 : 0xFFFF, (seen & INK_ALPHA) != 0, 8 * bytes);
}

int ink_values(ink &k, size_t y, const unsigned char *values, const value_colours &c, unsigned &bad)
{
    auto rgba_at = [&](size_t x, unsigned char rgba[4]) { memcpy(rgba, c.rgba[values[x]], 4); };
    if (plain_way(k)) {
        if (bad_past(values, 0, k.width, 8, c, bad))
            return 1;
        plain_row(k, y, rgba_at);
        return 0;
    }
    if (!FOR_EACH_WIDTH(k, values_row, k, y, values, c.inks, bad) ||
        (k.width % 8 != 0 && bad_past(values, size_t{k.width} / 8 * 8, k.width, 8, c, bad)))
        return 1;
    finish_row(k, y, rgba_at, [&](unsigned char *grey) { values_greys(values, k.width, 8, c.greys, grey); });
    return 0;
}

// A row's whole eights of packed values through the loop for their depth;
// false, and the first value of no colour in `bad`, where one has none.
static bool packed_loops(ink &k, size_t y, const unsigned char *packed, unsigned depth, const value_colours &c,
                         unsigned &bad)
{
    if (depth == 1 && c.inks[0] != NO_COLOUR && c.inks[1] != NO_COLOUR) {
        bits_row(k, y, packed, c.inks);
        return true;
    }
    if (depth == 1)
        return FOR_EACH_WIDTH(k, packed_row, k, y, packed, 1, c, bad);
    if (depth == 2)
        return FOR_EACH_WIDTH(k, packed_row, k, y, packed, 2, c, bad);
    return FOR_EACH_WIDTH(k, packed_row, k, y, packed, 4, c, bad);
}

int ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const value_colours &c, unsigned &bad)
{
    auto rgba_at = [&](size_t x, unsigned char rgba[4]) { memcpy(rgba, c.rgba[packed_value(packed, x, depth)], 4); };
    if (plain_way(k)) {
        if (bad_past(packed, 0, k.width, depth, c, bad))
            return 1;
        plain_row(k, y, rgba_at);
        return 0;
    }
    if (!packed_loops(k, y, packed, depth, c, bad) ||
        (k.width % 8 != 0 && bad_past(packed, size_t{k.width} / 8 * 8, k.width, depth, c, bad)))
        return 1;
    finish_row(k, y, rgba_at, [&](unsigned char *grey) { values_greys(packed, k.width, depth, c.greys, grey); });
    return 0;
}

// As values_row, each pixel's ink given.
[[gnu::always_inline]] static inline void pixels_row(ink &k, size_t y, const std::uint32_t *inks, size_t groups,
                                                     size_t row_bytes)
{
    std::uint32_t seen = 0, opaque = 0xFFFF;
    for (size_t col = 0; col < groups; col++, inks += 8) {
        std::uint32_t bits = 0;
        for (size_t i = 8; i-- > 0;)
            bits = 2 * bits + inks[i];
        seen |= bits;
        put_inks(k, y, col, bits, opaque, row_bytes);
    }
    put_row(k, y, opaque, (seen & 0xFF0000) != 0, 8 * groups);
}

void ink_pixels(ink &k, size_t y, const std::uint32_t *inks, const unsigned char *greys, const unsigned char *rgba)
{
    auto rgba_at = [&](size_t x, unsigned char out[4]) { memcpy(out, rgba + 4 * x, 4); };
    if (plain_way(k)) {
        plain_row(k, y, rgba_at);
        return;
    }
    FOR_EACH_WIDTH(k, pixels_row, k, y, inks);
    finish_row(k, y, rgba_at, [&](unsigned char *grey) { memcpy(grey, greys, k.width); });
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
    const size_t groups = k.width / 8, row_bytes = k.row_bytes;
    std::uint32_t row_opaque = 0xFFFF;
    for (size_t col = 0; col < groups; col++, p += 8 * step) {
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
    // A grey level is darker than mid-grey just where its top bit is 0.
    std::uint32_t dark =
        l.red == l.green && l.green == l.blue ? (q[l.red] >> 7 ^ 1U) : dark_bit(q[l.red], q[l.green], q[l.blue]);
    return dark | (a >> 7) << 8;
}

// The top bit of each byte of a word, byte i's in bit i.
static inline unsigned top_bits(std::uint64_t w)
{
    return static_cast<unsigned>(((w & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56);
}

// The even bits of 16, in 8.
static inline std::uint32_t even_bits(std::uint32_t x)
{
    x &= 0x5555;
    x = (x | x >> 1) & 0x3333;
    x = (x | x >> 2) & 0x0F0F;
    return (x | x >> 4) & 0xFF;
}

// Eight pixels of 8-bit grey, alone or each followed by its alpha, as
// colour_ink gives them, a word at a time: a grey level is dark, and an
// alpha at least half opaque, by its top bit.
[[gnu::always_inline]] static inline std::uint32_t grey_inks(const unsigned char *p, const sample_places &l,
                                                             std::uint32_t &alphas)
{
    std::uint64_t w[2] = {0, 0};
    memcpy(w, p, 8 * l.step);
    if (l.step == 1)
        return (~top_bits(w[0]) & 0xFF) | 0xFF00;
    std::uint32_t tops = top_bits(w[0]) | top_bits(w[1]) << 8; // grey and alpha by turns
    std::uint32_t dark = ~even_bits(tops) & 0xFF, opaque = l.has_alpha ? even_bits(tops >> 1) : 0xFF;
    alphas |= l.has_alpha && ((w[0] | w[1]) & 0xFF00FF00FF00FF00ULL) != 0 ? 1U : 0U;
    return dark | opaque << 8;
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

// A pixel of samples as 8-bit red, green, blue and alpha.
static void samples_rgba(const unsigned char *q, const sample_places &l, bool sixteen, unsigned char rgba[4])
{
    const size_t at[4] = {l.red, l.green, l.blue, l.alpha};
    for (size_t c = 0; c < 4; c++)
        rgba[c] = static_cast<unsigned char>(c == 3 && !l.has_alpha ? 255 : sixteen ? deep(q + at[c]) : q[at[c]]);
}

// The loop over a row of 8- or 16-bit samples, which `ink_colours` and
// `ink_deep_colours` copy in whole for each layout pictures have, so that
// its offsets are constants and cost nothing. Each byte is built from its
// rightmost pixel on, each pixel's bits going in below the last's; eight
// pixels of one colour are one pixel's bits eight times over.
[[gnu::always_inline]] static inline void samples_row(ink &k, size_t y, const unsigned char *p, const sample_places &l,
                                                      bool sixteen, size_t groups, size_t row_bytes)
{
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < groups; col++, p += 8 * l.step) {
        std::uint32_t bits = 0;
        if (l.step > 1 && one_colour(p, l.step))
            bits = (sixteen ? deep_ink(p, l, alphas) : colour_ink(p, l, alphas)) * 0xFF;
        else if (!sixteen && l.step <= 2 && l.red == 0 && l.green == 0 && l.blue == 0)
            bits = grey_inks(p, l, alphas);
        else
            for (size_t i = 8; i-- > 0;) {
                const unsigned char *q = p + i * l.step;
                bits = 2 * bits + (sixteen ? deep_ink(q, l, alphas) : colour_ink(q, l, alphas));
            }
        put_inks(k, y, col, bits, row_opaque, row_bytes);
    }
    put_row(k, y, row_opaque, l.has_alpha && alphas != 0, 8 * groups);
}

// A row of one colour, as a drawing's margins are, at once; eight pixels
// of one colour at a time; the rest one by one.
void samples_greys(const unsigned char *p, size_t n, const sample_places &l, bool sixteen, unsigned char *grey)
{
    auto level = [&](const unsigned char *q) {
        return sixteen ? grey_of(deep(q + l.red), deep(q + l.green), deep(q + l.blue))
                       : grey_of(q[l.red], q[l.green], q[l.blue]);
    };
    size_t x = 0;
    if ((n - 1) * l.step >= 8 && same_bytes(p, p + l.step, (n - 1) * l.step)) {
        memset(grey, level(p), n);
        return;
    }
    for (; x + 8 <= n; x += 8, p += 8 * l.step) {
        if (l.step > 1 && one_colour(p, l.step)) {
            memset(grey + x, level(p), 8);
            continue;
        }
        for (size_t i = 0; i < 8; i++)
            grey[x + i] = level(p + i * l.step);
    }
    for (; x < n; x++, p += l.step)
        grey[x] = level(p);
}

static bool operator==(const sample_places &a, const sample_places &b)
{
    return a.step == b.step && a.red == b.red && a.green == b.green && a.blue == b.blue && a.has_alpha == b.has_alpha &&
           (!a.has_alpha || a.alpha == b.alpha);
}

// The row of samples after its whole eights, or the plain way.
static void samples_done(ink &k, size_t y, const unsigned char *p, const sample_places &l, bool sixteen)
{
    auto rgba_at = [&](size_t x, unsigned char rgba[4]) { samples_rgba(p + x * l.step, l, sixteen, rgba); };
    finish_row(k, y, rgba_at, [&](unsigned char *grey) { samples_greys(p, k.width, l, sixteen, grey); });
}

// The layouts of samples the readers store: 8-bit grey, grey and alpha,
// red, green and blue in either order, with alpha or an unused byte; and
// those of 16 bits. Each named, as a loop's template takes it.
constexpr sample_places grey8 = {1, 0, 0, 0, 0, false}, grey_alpha8 = {2, 0, 0, 0, 1, true},
                        rgb8 = {3, 0, 1, 2, 0, false}, bgr8 = {3, 2, 1, 0, 0, false}, rgba8 = {4, 0, 1, 2, 3, true},
                        bgra8 = {4, 2, 1, 0, 3, true}, bgrx8 = {4, 2, 1, 0, 0, false};
constexpr sample_places grey16 = {2, 0, 0, 0, 0, false}, grey_alpha16 = {4, 0, 0, 0, 2, true},
                        rgb16 = {6, 0, 2, 4, 0, false}, rgba16 = {8, 0, 2, 4, 6, true};
constexpr sample_places eight_bit[] = {grey8, grey_alpha8, rgb8, bgr8, rgba8, bgra8, bgrx8};
constexpr sample_places sixteen_bit[] = {grey16, grey_alpha16, rgb16, rgba16};

const sample_places *samples_with_loops(bool sixteen, size_t &n)
{
    n = sixteen ? std::size(sixteen_bit) : std::size(eight_bit);
    return sixteen ? sixteen_bit : eight_bit;
}

using samples_loop = void (*)(ink &k, size_t y, const unsigned char *p, const sample_places &l);

// A whole row of samples: where the transparency has decided, by alpha
// alone; otherwise by the rule's loop, `known` places constants or,
// where nullptr, `l`'s; then the pixels past its whole eights.
template <const sample_places *known, bool sixteen>
static void samples_loop_of(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    if (l.has_alpha && read_by_alpha(k))
        opaque_row(k, y, p, l.step, l.alpha);
    else if (known != nullptr)
        FOR_EACH_WIDTH(k, samples_row, k, y, p, *known, sixteen);
    else
        samples_row(k, y, p, l, sixteen, k.width / 8, k.row_bytes);
    if (!row_finished(k))
        samples_done(k, y, p, l, sixteen);
}

// A row pixel by pixel, where a colour is told or the row is narrower
// than a byte of the planes.
template <bool sixteen> static void plain_samples_loop(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    plain_row(k, y, [&](size_t x, unsigned char rgba[4]) { samples_rgba(p + x * l.step, l, sixteen, rgba); });
}

static const samples_loop eight_bit_loops[] = {samples_loop_of<&grey8, false>, samples_loop_of<&grey_alpha8, false>,
                                               samples_loop_of<&rgb8, false>,  samples_loop_of<&bgr8, false>,
                                               samples_loop_of<&rgba8, false>, samples_loop_of<&bgra8, false>,
                                               samples_loop_of<&bgrx8, false>};
static const samples_loop sixteen_bit_loops[] = {samples_loop_of<&grey16, true>, samples_loop_of<&grey_alpha16, true>,
                                                 samples_loop_of<&rgb16, true>, samples_loop_of<&rgba16, true>};
static_assert(std::size(eight_bit_loops) == std::size(eight_bit) &&
              std::size(sixteen_bit_loops) == std::size(sixteen_bit));

// The loop for a picture's layout of samples, chosen at its first row
// from the table.
[[gnu::noinline]] static void choose_samples_loop(ink &k, const sample_places &l, bool sixteen)
{
    size_t n = 0;
    const sample_places *known = samples_with_loops(sixteen, n);
    k.samples_loop = sixteen ? samples_loop_of<nullptr, true> : samples_loop_of<nullptr, false>;
    for (size_t i = 0; i < n; i++)
        if (known[i] == l)
            k.samples_loop = sixteen ? sixteen_bit_loops[i] : eight_bit_loops[i];
    if (plain_way(k))
        k.samples_loop = sixteen ? plain_samples_loop<true> : plain_samples_loop<false>;
    k.loop_for = &l;
}

void ink_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    if (k.loop_for != &l)
        choose_samples_loop(k, l, false);
    k.samples_loop(k, y, p, l);
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
                                                    const unsigned char key[3], bool dark, size_t groups,
                                                    size_t row_bytes)
{
    std::uint32_t row_opaque = 0xFFFF, any_opaque = 0;
    for (size_t col = 0; col < groups; col++, p += 24) {
        std::uint32_t bits = 0;
        if (one_colour(p, 3))
            bits = keyed_ink(p, key, dark) * 0xFF;
        else
            for (size_t i = 8; i-- > 0;)
                bits = 2 * bits + keyed_ink(p + 3 * i, key, dark);
        any_opaque |= bits >> 8;
        put_inks(k, y, col, bits, row_opaque, row_bytes);
    }
    put_row(k, y, row_opaque, any_opaque != 0, 8 * groups); // alpha is 255 wherever it is not 0
}

void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3])
{
    const unsigned char copy[3] = {key[0], key[1], key[2]}; // apart from the planes the loop stores to
    auto rgba_at = [&](size_t x, unsigned char rgba[4]) {
        memcpy(rgba, p + 3 * x, 3);
        rgba[3] = memcmp(rgba, copy, 3) == 0 ? 0 : 255;
    };
    if (plain_way(k)) {
        plain_row(k, y, rgba_at);
        return;
    }
    if (read_by_alpha(k))
        FOR_EACH_WIDTH(k, keyed_row, k, y, p, copy, false);
    else
        FOR_EACH_WIDTH(k, keyed_row, k, y, p, copy, true);
    static const sample_places rgb = {3, 0, 1, 2, 0, false};
    finish_row(k, y, rgba_at, [&](unsigned char *grey) { samples_greys(p, k.width, rgb, false, grey); });
}

void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l)
{
    if (k.loop_for != &l)
        choose_samples_loop(k, l, true);
    k.samples_loop(k, y, p, l);
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
            t.eights[c][v] = static_cast<unsigned char>(eight);
            if (c < 3)
                t.weights[c][v] = weight[c] * eight;
        }
    }
    return true;
}

std::uint32_t field_ink(const field_inks &t, std::uint32_t v)
{
    const bit_field *f = t.fields;
    std::uint32_t sum = t.weights[0][(v & f[0].mask) >> f[0].shift] + t.weights[1][(v & f[1].mask) >> f[1].shift] +
                        t.weights[2][(v & f[2].mask) >> f[2].shift];
    unsigned a = t.eights[3][(v & f[3].mask) >> f[3].shift];
    return ((sum - 128000) >> 31) | ink_of(255, 255, 255, a); // white: only the alpha's bits
}

void field_rgba(const field_inks &t, std::uint32_t v, unsigned char rgba[4])
{
    for (size_t c = 0; c < 4; c++)
        rgba[c] = t.eights[c][(v & t.fields[c].mask) >> t.fields[c].shift];
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
                                                     const field_shape &f, const field_inks &t, size_t groups,
                                                     size_t row_bytes)
{
    // The tables held apart from `t`, which the compiler cannot know the
    // stores to the planes leave as it is.
    const std::uint32_t *w0 = t.weights[0], *w1 = t.weights[1], *w2 = t.weights[2];
    const unsigned char *alpha = t.eights[3];
    std::uint32_t alphas = 0, row_opaque = 0xFFFF;
    for (size_t col = 0; col < groups; col++, p += 8 * bytes) {
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
    put_row(k, y, row_opaque, alphas != 0, 8 * groups);
}

// A row of 16-bit fields in a shape writers use, its shifts and maxima
// constants: 5-6-5 and 5-5-5, without alpha or with a bit of it, and
// 4-4-4-4. False for any other shape.
static bool known_fields(ink &k, size_t y, const unsigned char *p, const field_inks &t)
{
    static const field_shape rgb565 = {{11, 5, 0, 0}, {31, 63, 31, 0}}, rgb555 = {{10, 5, 0, 0}, {31, 31, 31, 0}},
                             argb1555 = {{10, 5, 0, 15}, {31, 31, 31, 1}}, argb4444 = {{8, 4, 0, 12}, {15, 15, 15, 15}};
    if (rgb565 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, rgb565, t);
    else if (rgb555 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, rgb555, t);
    else if (argb1555 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, argb1555, t);
    else if (argb4444 == t.fields)
        FOR_EACH_WIDTH(k, fields_row, k, y, p, 2, argb4444, t);
    else
        return false;
    return true;
}

void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t)
{
    const field_shape any = {{t.fields[0].shift, t.fields[1].shift, t.fields[2].shift, t.fields[3].shift},
                             {t.fields[0].max, t.fields[1].max, t.fields[2].max, t.fields[3].max}};
    auto rgba_at = [&](size_t x, unsigned char rgba[4]) {
        field_rgba(t, bytes == 2 ? le16(p + 2 * x) : le32(p + 4 * x), rgba);
    };
    if (plain_way(k)) {
        plain_row(k, y, rgba_at);
        return;
    }
    if (bytes != 2 || !known_fields(k, y, p, t))
        fields_row(k, y, p, bytes, any, t, k.width / 8, k.row_bytes);
    finish_row(k, y, rgba_at, [&](unsigned char *grey) {
        for (size_t x = 0; x < k.width; x++) {
            unsigned char rgba[4];
            rgba_at(x, rgba);
            grey[x] = grey_of(rgba[0], rgba[1], rgba[2]);
        }
    });
}

void mirror_row(ink &k, size_t y)
{
    for (size_t x = 0; k.rgba != nullptr && x < k.width / 2; x++) {
        unsigned char *left = k.rgba + 4 * (y * k.width + x), *right = k.rgba + 4 * (y * k.width + k.width - 1 - x),
                      kept[4];
        memcpy(kept, left, 4);
        memcpy(left, right, 4);
        memcpy(right, kept, 4);
    }
    unsigned char *grey = grey_row(k, y);
    for (size_t x = 0; x < k.width / 2; x++) {
        unsigned char left = grey[x];
        grey[x] = grey[k.width - 1 - x];
        grey[k.width - 1 - x] = left;
    }
    for (unsigned char *plane : {k.dark, k.opaque}) {
        unsigned char *row = plane + y * k.row_bytes;
        for (size_t x = 0; x < k.width / 2; x++) {
            size_t other = k.width - 1 - x;
            unsigned a = row[x / 8] >> (x % 8) & 1, b = row[other / 8] >> (other % 8) & 1;
            row[x / 8] = static_cast<unsigned char>((row[x / 8] & ~(1U << (x % 8))) | b << (x % 8));
            row[other / 8] = static_cast<unsigned char>((row[other / 8] & ~(1U << (other % 8))) | a << (other % 8));
        }
    }
}
