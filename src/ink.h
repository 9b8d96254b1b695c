// The ink rule, which turns a picture's colours into the sheet's bits, and
// the loops that apply it to whole rows of each kind of pixel.
#ifndef GLYPHRIP_INK_H
#define GLYPHRIP_INK_H

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "glyph_sheet.h"

// A sample of `max` (at most 2^32 - 1) as 8 bits, rounded to nearest.
inline unsigned to_8_bits(std::uint32_t v, std::uint32_t max)
{
    if (max == 255 || max == 0) // no picture has a maximum of 0
        return v;
    return static_cast<unsigned>((std::uint64_t{v} * 510 + max) / (std::uint64_t{max} * 2));
}

// The ink rule, which turns a picture into the sheet's bits:
//  1. A one-bit BMP and a PBM keep their bits, 1 in the file a 1 bit (a
//     PBM's 1 is black): read_one_bit, and netpbm's reader.
//  2. Where at least one pixel in sixteen is less than half opaque, those
//     are paper and the others ink; an alpha of 0 in every pixel of a BMP
//     or TGA counts as opaque: finish_ink.
//  3. Otherwise the pixels less than half opaque, an erased one or two,
//     are paper, and the opaque ones are dark or light by their grey level
//     g = (299 R + 587 G + 114 B) div 1000, samples as 8 bits: dark where
//     g < 128, mid-grey. Where every opaque pixel is on one side of it but
//     they are not all one grey level, the split moves half-way between
//     the darkest and the lightest: dark where g < (g_min + g_max + 1) div
//     2. The side with fewer opaque pixels is the ink, as a drawing covers
//     less of the sheet than its paper; dark on a tie. Opaque pixels all of
//     one grey level are all ink where they are dark, and none where they
//     are light: finish_ink.
// Each pixel's part, dark or light, opaque or not, is ink_of, and its grey
// level grey_of; the row loops below are faster ways to the same, which a
// test holds to them. Grey levels are kept only while they may be needed:
// until a row holds opaque pixels on both sides of mid-grey, or the
// transparency is sure to decide.
enum : std::uint32_t { INK_DARK = 1, INK_OPAQUE = 1U << 8, INK_ALPHA = 1U << 16, NO_COLOUR = 1U << 24 };

// Darker than mid-grey, by 8-bit red, green and blue: 1 or 0. The sum is
// below 128000 where taking 128000 from it wraps round to a number with
// its top bit set.
inline std::uint32_t dark_bit(std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return (299 * r + 587 * g + 114 * b - 128000) >> 31;
}

// The grey level of 8-bit red, green and blue, 0 to 255: below 128 just
// where dark_bit is 1.
inline unsigned char grey_of(unsigned r, unsigned g, unsigned b)
{
    return static_cast<unsigned char>((299 * r + 587 * g + 114 * b) / 1000);
}

// A pixel of 8-bit samples: dark, at least half opaque, alpha not 0.
inline std::uint32_t ink_of(unsigned r, unsigned g, unsigned b, unsigned a)
{
    std::uint32_t none = 0;
    return dark_bit(r, g, b) | (a >= 128 ? INK_OPAQUE : none) | (a != 0 ? INK_ALPHA : none);
}

// A picture's pixels by the rule's parts, in planes of the sheet's layout,
// and each pixel's grey level while keep_grey.
struct ink {
    unsigned width, height;
    size_t row_bytes;                     // width / 8
    unsigned char dark[SHEET_MOST_BYTES]; // pixels darker than mid-grey
    unsigned char opaque[SHEET_MOST_BYTES];
    unsigned char grey[8 * SHEET_MOST_BYTES];
    std::uint64_t transparent; // pixels less than half opaque, as far as counted
    bool alpha_anywhere;       // some pixel's alpha is not 0
    bool by_alpha;             // the transparency decides, as far as rows have counted
    bool zero_alpha_is_opaque; // an alpha of 0 in every pixel is none
    bool keep_grey;            // each pixel's grey level may yet be needed
};
// For a picture of a sheet's size; `zero_alpha_is_opaque` for pictures
// whose writers may leave an unused alpha at 0 in every pixel.
void start_ink(ink &k, unsigned width, unsigned height, bool zero_alpha_is_opaque);
// Where a reader keeps every row, the grey levels of row y, worked out
// again only where they are needed, in place of keeping them as it goes.
struct grey_source {
    void (*row)(const void *reader, size_t y, unsigned char *greys);
    const void *reader;
};
// Gives the sheet by rules 2 and 3; grey levels from `again` where it is
// given.
void finish_ink(ink &k, glyph_sheet &sheet, const grey_source *again = nullptr);
// The set bits of `bytes`, a multiple of 64.
size_t ones(const unsigned char *bits, size_t bytes);

// Pixel (x, y), y counted from the top, whose ink is `w` and grey level
// `grey`: the plain way, for pictures not inked a row at a time.
inline void put_ink(ink &k, size_t x, size_t y, std::uint32_t w, unsigned char grey)
{
    size_t at = y * k.row_bytes + x / 8;
    auto bit = static_cast<unsigned char>(1U << (x % 8));
    k.dark[at] = static_cast<unsigned char>((k.dark[at] & ~bit) | ((w & INK_DARK) != 0 ? bit : 0));
    k.opaque[at] = static_cast<unsigned char>((k.opaque[at] & ~bit) | ((w & INK_OPAQUE) != 0 ? bit : 0));
    k.grey[y * k.width + x] = grey;
    k.transparent += (w & INK_OPAQUE) == 0 ? 1 : 0;
    k.alpha_anywhere = k.alpha_anywhere || (w & INK_ALPHA) != 0;
}

// The ink rule for whole rows of the picture, y counted from the top and
// pixels from the left, eight pixels to a byte of each plane. Values of at
// most 8 bits (palette indices, grey levels) go through a table of their
// inks, NO_COLOUR for a value that has no colour, and one of their grey
// levels.

// The inks and grey levels of grey levels 0 to `max`, at most 255; the
// rest NO_COLOUR.
void grey_inks(std::uint32_t inks[256], unsigned char greys[256], unsigned max);

// The grey levels of `n` pixels: values a byte each, and values packed
// `depth` bits each.
void values_greys(const unsigned char *values, size_t n, const unsigned char greys[256], unsigned char *grey);
void packed_greys(const unsigned char *packed, size_t n, unsigned depth, const unsigned char greys[256],
                  unsigned char *grey);

// A row of values, one byte each; false if one is NO_COLOUR.
bool ink_values(ink &k, size_t y, const unsigned char *values, const std::uint32_t inks[256],
                const unsigned char greys[256]);
// A row of each pixel's ink, as ink_of gives it, and grey level.
void ink_pixels(ink &k, size_t y, const std::uint32_t *inks, const unsigned char *greys);
// For values of 1, 2 or 4 bits packed leftmost first, the inks of each
// byte's pixels, as ink_values sums them; and a row of such values
// through that table, false if one is NO_COLOUR.
void byte_inks(const std::uint32_t inks[256], unsigned depth, std::uint32_t table[256]);
bool ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const std::uint32_t table[256],
                const unsigned char greys[256]);
// The first of a row's `n` values, packed `depth` bits each leftmost first
// (8: a byte each), whose ink is NO_COLOUR, for the reader to name; false
// if there is none.
bool first_no_colour(const unsigned char *packed, size_t n, unsigned depth, const std::uint32_t inks[256],
                     unsigned &value);
// A row of one bit a pixel, the leftmost in the top bit of the first byte,
// whose 0 and 1 have the inks and grey levels given.
void ink_bits(ink &k, size_t y, const unsigned char *packed, const std::uint32_t inks[2], const unsigned char greys[2]);

// Where a pixel's 8- or 16-bit samples stand among its bytes: red, green
// and blue (the same for grey), and alpha if it has one.
struct sample_places {
    size_t step, red, green, blue, alpha;
    bool has_alpha;
};
// The grey levels of `n` pixels of 8- or 16-bit samples.
void samples_greys(const unsigned char *p, size_t n, const sample_places &l, bool sixteen, unsigned char *grey);
// A row of 8-bit samples.
void ink_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l);
// A row of 8-bit red, green and blue, transparent where they are `key`'s.
void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3]);
// A row of 16-bit big-endian samples.
void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l);
// One colour of pixels stored as bit fields of a little-endian word of 16
// or 32 bits: where its bits stand and their largest value. A mask of 0
// gives no such colour.
struct bit_field {
    std::uint32_t mask, shift, max;
};
bool make_field(std::uint32_t mask, bit_field &f); // false if the mask has a gap
// Red, green, blue and alpha, and tables from each one's values to what
// they add to the rule's sum, and for alpha to 8 bits: an absent colour
// adds 0, an absent alpha is 255.
struct field_inks {
    bit_field fields[4];
    std::uint32_t weights[3][256];
    unsigned char alphas[256];
};
// False where a field has more than 8 bits.
bool make_field_inks(const bit_field fields[4], field_inks &t);
// A row of pixels of `bytes` bytes, 2 or 4.
void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t);
// The ink and grey level of one pixel of bit fields `v`.
std::uint32_t field_ink(const field_inks &t, std::uint32_t v);
unsigned char field_grey(const field_inks &t, std::uint32_t v);

// Turns row y the other way round, for a picture stored right to left.
void mirror_row(ink &k, size_t y);

#endif
