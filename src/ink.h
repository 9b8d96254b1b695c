// The ink rule, which turns a picture's colours into the font's bits, and
// the loops that apply it to whole rows of each kind of pixel.
#ifndef GLYPHRIP_INK_H
#define GLYPHRIP_INK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bytes.h"
#include "glyph_sheet.h"
#include "layout.h"

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

// A picture's pixels by the rule's parts, in planes a bit a pixel, and
// each pixel's grey level while keep_grey; the layout its font is cut by.
// A plane's rows are of whole words, with a word to spare after the last.
constexpr size_t PLANE_BYTES = MOST_PIXELS / 8 + size_t{8} * MOST_SIDE + 8;
struct ink {
    unsigned width, height;
    size_t row_bytes; // of each plane's rows
    layout l;
    bool covered;                    // the cells cover every pixel
    unsigned char dark[PLANE_BYTES]; // pixels darker than mid-grey
    unsigned char opaque[PLANE_BYTES];
    unsigned char grey[MOST_PIXELS];
    std::uint64_t transparent;       // pixels less than half opaque, as far as counted
    bool alpha_anywhere;             // some pixel's alpha is not 0
    bool by_alpha;                   // the transparency decides, as far as rows have counted
    bool zero_alpha_is_opaque;       // an alpha of 0 in every pixel is none
    bool keep_grey;                  // each pixel's grey level may yet be needed
    bool by_value;                   // one-bit pixels whose bits, in `dark`, are kept as stored
    unsigned char bit_colours[2][4]; // and the colours of 0 and 1, red, green, blue and alpha
    ink_choice choice;               // which pixels are ink
    bool told_colour;                // a colour is told: `dark` is the pixels of it
    bool plain;                      // rows go the plain way: see plain_way
    unsigned char colour[3];
    const struct grey_source *again; // a reader's grey levels of every row, where it keeps them
    unsigned char *rgba;             // where the page keeps each pixel's colour as read, else nullptr
    // The row loop of samples chosen for the picture's layout of them, at
    // its first row.
    const struct sample_places *loop_for;
    void (*samples_loop)(ink &k, size_t y, const unsigned char *p, const struct sample_places &l);
};
// Whether rows go the plain way, pixel by pixel: where a colour is told,
// where a row is narrower than a byte of the planes, and where each
// pixel's colour is kept, as the page keeps them always: there the row
// loops are left out, which makes it smaller.
#ifdef GLYPHRIP_PAGE
inline bool plain_way(const ink & /*k*/) { return true; }
#else
inline bool plain_way(const ink &k) { return k.plain; }
#endif
// Fits the layout told to a picture of `width` x `height`: 0, or 1 with
// `why` filled in. Then starts its planes; `zero_alpha_is_opaque` for
// pictures whose writers may leave an unused alpha at 0 in every pixel.
int fit_ink(ink &k, const told &t, unsigned width, unsigned height, char why[REASON_SIZE]);
void start_ink(ink &k, bool zero_alpha_is_opaque);
// Where a reader keeps every row, the grey levels of row y, worked out
// again only where they are needed, in place of keeping them as it goes.
struct grey_source {
    void (*row)(const void *reader, size_t y, unsigned char *greys);
    const void *reader;
};
// Cuts the font out of the picture and gives its bits as chosen, over the
// pixels the glyphs are read from: by the rule, their bits as stored or
// rules 2 and 3, grey levels from `again` where a reader keeps them; or
// the side or colour told. 0, or 1 with `why` filled in where no pixel of
// the cells is of a colour told.
int finish_font(ink &k, font &f, char why[REASON_SIZE]);
// The set bits of `bytes` bytes.
size_t ones(const unsigned char *bits, size_t bytes);

// The ink rule for whole rows of the picture, y counted from the top and
// pixels from the left, eight pixels to a byte of each plane; the pixels
// past the last whole eight, and every pixel where a colour is told, the
// plain way, each from its 8-bit red, green, blue and alpha. Where a colour
// is told, `dark` holds the pixels of that colour.

// The colours of values of at most 8 bits (palette indices, grey levels):
// each one's red, green, blue and alpha as 8 bits, its ink (NO_COLOUR for
// a value that has no colour) and grey level, and for values packed 1, 2
// or 4 bits to a byte, the inks of each byte's pixels, as the row loops
// sum them.
struct value_colours {
    unsigned char rgba[256][4];
    std::uint32_t inks[256];
    unsigned char greys[256];
    std::uint32_t byte_inks[256];
};
inline void set_colour(value_colours &c, unsigned v, unsigned r, unsigned g, unsigned b, unsigned a)
{
    const unsigned char rgba[4] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                   static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
    memcpy(c.rgba[v], rgba, 4);
    c.inks[v] = ink_of(r, g, b, a);
    c.greys[v] = grey_of(r, g, b);
}

inline void set_no_colour(value_colours &c, unsigned v)
{
    memset(c.rgba[v], 0, 4);
    c.inks[v] = NO_COLOUR;
    c.greys[v] = 0;
}

// Grey levels 0 to `max`, at most 255, as 8 bits; the rest no colour.
void set_greys(value_colours &c, unsigned max);
// The inks of each byte of values packed `depth` bits each, for the row
// loops; not needed, and not made, for two colours of one bit.
void pack_colours(value_colours &c, unsigned depth);

// Each gives 0, or 1 where a value has no colour, then the first such in
// `bad`. A row of values, one byte each, or packed `depth` bits each
// leftmost first (1: two colours).
int ink_values(ink &k, size_t y, const unsigned char *values, const value_colours &c, unsigned &bad);
int ink_packed(ink &k, size_t y, const unsigned char *packed, unsigned depth, const value_colours &c, unsigned &bad);
// A row of each pixel's ink and grey level, as ink_of and grey_of give them,
// and its colour as red, green, blue and alpha.
void ink_pixels(ink &k, size_t y, const std::uint32_t *inks, const unsigned char *greys, const unsigned char *rgba);

// Where a pixel's 8- or 16-bit samples stand among its bytes: red, green
// and blue (the same for grey), and alpha if it has one.
struct sample_places {
    size_t step, red, green, blue, alpha;
    bool has_alpha;
};
// A row of 8-bit samples. Its loop is chosen at a picture's first row,
// by `l`, which must be the same object for every row.
void ink_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l);
// A row of 8-bit red, green and blue, transparent where they are `key`'s.
void ink_keyed_colours(ink &k, size_t y, const unsigned char *p, const unsigned char key[3]);
// A row of 16-bit big-endian samples, its loop chosen as ink_colours'.
void ink_deep_colours(ink &k, size_t y, const unsigned char *p, const sample_places &l);
// The layouts of samples with loops of their own, of 8 bits and of 16,
// for the test that holds each to the plain way; `n` of each.
const sample_places *samples_with_loops(bool sixteen, size_t &n);
// One colour of pixels stored as bit fields of a little-endian word of 16
// or 32 bits: where its bits stand and their largest value. A mask of 0
// gives no such colour.
struct bit_field {
    std::uint32_t mask, shift, max;
};
bool make_field(std::uint32_t mask, bit_field &f); // false if the mask has a gap
// Red, green, blue and alpha, and tables from each one's values to what
// they add to the rule's sum, and to 8 bits: an absent colour adds 0, an
// absent alpha is 255.
struct field_inks {
    bit_field fields[4];
    std::uint32_t weights[3][256];
    unsigned char eights[4][256];
};
// False where a field has more than 8 bits.
bool make_field_inks(const bit_field fields[4], field_inks &t);
// A row of pixels of `bytes` bytes, 2 or 4.
void ink_fields(ink &k, size_t y, const unsigned char *p, size_t bytes, const field_inks &t);
// One pixel of bit fields `v`: its ink, and as 8-bit red, green, blue and
// alpha.
std::uint32_t field_ink(const field_inks &t, std::uint32_t v);
void field_rgba(const field_inks &t, std::uint32_t v, unsigned char rgba[4]);

// The grey levels of `n` pixels: values packed `depth` bits each (8: a
// byte each), through their colours' grey levels, and samples.
void values_greys(const unsigned char *packed, size_t n, unsigned depth, const unsigned char greys[256],
                  unsigned char *grey);
void samples_greys(const unsigned char *p, size_t n, const sample_places &l, bool sixteen, unsigned char *grey);

// Pixel x of row y, counted from the left and from the top, of 8-bit red,
// green, blue and alpha: the plain way, as the row loops make it, and for
// pixels inked one at a time.
void put_pixel(ink &k, size_t x, size_t y, const unsigned char rgba[4]);
// After pixels put so, a row of them: what the row loops count of it.
void pixels_put(ink &k, size_t y);
// After a reader has put a whole row's bits into the planes itself, the
// bits past its last pixel aside: what the row loops count of it, given
// whether an alpha is not 0 and whether every pixel is at least half
// opaque.
void planes_put(ink &k, size_t y, bool alpha, bool all_opaque);

// Turns row y the other way round, for a picture stored right to left.
void mirror_row(ink &k, size_t y);

#endif
