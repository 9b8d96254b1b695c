// TGA: colour-mapped, true colour and grey pictures, uncompressed or
// run-length encoded, the rows in the order the header's origin bits say.
// TGA has no signature; its header is known by fields that agree with one
// another.
#include <cstring>

#include "kinds.h"
#include "picture.h"

namespace {

struct tga_header {
    unsigned id_length, map_type, type, first, map_length, entry_bits, width, height, depth, descriptor;
};

tga_header fields_of(const unsigned char *h)
{
    return {h[0], h[1], h[2], le16(h + 3), le16(h + 5), h[7], le16(h + 12), le16(h + 14), h[16], h[17]};
}

enum { COLOUR_MAPPED = 1, TRUE_COLOUR = 2, GREY = 3, RUN_LENGTH = 8 };

bool is_colour_depth(unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// The colour map, where there is one: a known entry size, and for a
// colour-mapped picture no entry past what 8-bit indices reach. Without
// one, its fields are 0.
bool map_fits(const tga_header &t)
{
    if (t.map_type == 0)
        return t.first == 0 && t.map_length == 0 && t.entry_bits == 0;
    if (t.map_type != 1 || !is_colour_depth(t.entry_bits) || t.map_length == 0)
        return false;
    return (t.type & 7) != COLOUR_MAPPED || t.first + t.map_length <= 256;
}

// The depths of pixels glyphrip reads: colour indices of 8 bits, or of 16
// where the map has more entries than 8 bits reach; true colour; grey as
// Pillow writes bits, grey, and grey and alpha.
bool depth_fits(const tga_header &t)
{
    switch (t.type & 7) {
    case COLOUR_MAPPED: return t.depth == 8 || t.depth == 16;
    case TRUE_COLOUR: return is_colour_depth(t.depth);
    default: return t.depth == 1 || t.depth == 8 || t.depth == 16;
    }
}

// The picture TGA says: what it holds, how, and in which order. Pixels
// are stored, and runs counted, in units: one pixel, or at one bit a
// pixel, as Pillow writes, a byte of eight, the leftmost in the top bit.
struct picture {
    tga_header t;
    std::uint32_t inks[65536];  // of each index or grey level
    unsigned char greys[65536]; // and its grey level
    field_inks fields;          // of 15- and 16-bit colours
    size_t unit_bytes, row_units;
    bool alpha; // the descriptor gives pixels alpha bits
    ink k;
    char *why;
};

int damaged(picture &p, const char *what) { return refuse(p.why, "a damaged TGA: %s", what); }

// A colour map entry of 15, 16, 24 or 32 bits, blue first, as the ink
// and grey level of index i.
void put_entry(picture &p, size_t i, const unsigned char *b)
{
    unsigned bits = p.t.entry_bits, r = b[2], g = b[1], blue = b[0], a = bits == 32 ? b[3] : 255;
    if (bits <= 16) {
        unsigned v = le16(b);
        r = to_8_bits(v >> 10 & 31, 31);
        g = to_8_bits(v >> 5 & 31, 31);
        blue = to_8_bits(v & 31, 31);
        a = bits == 16 && (v & 0x8000) == 0 ? 0 : 255;
    }
    p.inks[i] = ink_of(r, g, blue, p.alpha ? a : 255);
    p.greys[i] = grey_of(r, g, blue);
}

// Reads the colour map, if there is one, keeping the inks of the entries a
// colour-mapped picture's indices reach; an index outside it is no colour.
// A picture of another kind may carry a map, which is passed over.
int read_map(input &in, picture &p)
{
    const tga_header &t = p.t;
    size_t entry = (t.entry_bits + 7) / 8, reached = t.depth == 16 ? 65536 : 256;
    bool mapped = (t.type & 7) == COLOUR_MAPPED;
    unsigned char b[4];
    for (size_t i = 0; mapped && i < reached; i++)
        p.inks[i] = NO_COLOUR;
    for (unsigned i = 0; t.map_type == 1 && i < t.map_length; i++) {
        if (next_bytes(in, b, entry) != entry)
            return damaged(p, "it ends inside its colour map");
        if (mapped && t.first + i < reached)
            put_entry(p, t.first + i, b);
    }
    return 0;
}

// How the pixels give colours where no colour map does.
void make_inks(picture &p)
{
    if ((p.t.type & 7) == GREY) {
        grey_inks(p.inks, p.greys, 255);
    } else if ((p.t.type & 7) == TRUE_COLOUR && p.t.depth <= 16) {
        bit_field f[4];
        (void)make_field(0x7C00, f[0]);
        (void)make_field(0x03E0, f[1]);
        (void)make_field(0x001F, f[2]);
        (void)make_field(p.t.depth == 16 && p.alpha ? 0x8000 : 0, f[3]);
        (void)make_field_inks(f, p.fields);
    }
}

// What a unit of 8 bits or more is, decided once for the picture.
enum class unit_kind { index, wide_index, grey_alpha, fields, blue_green_red, with_alpha };

unit_kind kind_of_units(const picture &p)
{
    unsigned kind = p.t.type & 7, depth = p.t.depth;
    if (kind != TRUE_COLOUR && depth == 8)
        return unit_kind::index;
    if (kind == COLOUR_MAPPED)
        return unit_kind::wide_index;
    if (kind == GREY)
        return unit_kind::grey_alpha;
    if (depth <= 16)
        return unit_kind::fields;
    return depth == 32 && p.alpha ? unit_kind::with_alpha : unit_kind::blue_green_red;
}

// The grey level of one unit of 8 bits or more.
unsigned char unit_grey(const picture &p, unit_kind kind, const unsigned char *u)
{
    switch (kind) {
    case unit_kind::index: return p.greys[u[0]];
    case unit_kind::wide_index: return p.greys[le16(u)];
    case unit_kind::grey_alpha: return u[0];
    case unit_kind::fields: return field_grey(p.fields, le16(u));
    default: return grey_of(u[2], u[1], u[0]);
    }
}

// The ink of one unit of 8 bits or more.
inline std::uint32_t unit_ink(const picture &p, unit_kind kind, const unsigned char *u)
{
    switch (kind) {
    case unit_kind::index: return p.inks[u[0]];
    case unit_kind::wide_index: return p.inks[le16(u)];
    case unit_kind::grey_alpha: return ink_of(u[0], u[0], u[0], p.alpha ? u[1] : 255);
    case unit_kind::fields: return field_ink(p.fields, le16(u));
    case unit_kind::blue_green_red: return ink_of(u[2], u[1], u[0], 255);
    default: return ink_of(u[2], u[1], u[0], u[3]);
    }
}

// The picture's planes, a bit a pixel, the rows in the file's order one
// after another, for pictures inked a run at a time: bit x of a row's
// words is pixel x.
struct planes {
    std::uint64_t dark[SHEET_MOST_BYTES / 8], opaque[SHEET_MOST_BYTES / 8];
    unsigned char grey[8 * SHEET_MOST_BYTES]; // each pixel's, while keep_grey
    std::uint32_t seen;
    bool keep_grey;
};

// The word being made, kept apart from the planes, where the compiler can
// hold it in registers; and, while grey levels are kept, whether the
// opaque pixels of the row being made lie on either side of mid-grey.
struct word_made {
    std::uint64_t dark, opaque;
    size_t word, bit;
    std::uint32_t seen;
    size_t row_words;
    bool keep_grey;
    std::uint64_t row_dark, row_light;
};

// Grey levels are kept until a row holds opaque pixels on both sides of
// mid-grey, as the rows inked a row at a time keep them.
template <bool grey> inline void word_done(planes &pl, word_made &m)
{
    pl.dark[m.word] = m.dark;
    pl.opaque[m.word++] = m.opaque;
    if (grey) {
        m.row_dark |= m.dark & m.opaque;
        m.row_light |= ~m.dark & m.opaque;
        if (m.word % m.row_words == 0) {
            m.keep_grey = m.row_dark == 0 || m.row_light == 0;
            m.row_dark = m.row_light = 0;
        }
    }
    m.dark = m.opaque = 0;
    m.bit = 0;
}

// Marks `count` pixels on from where the last left off with one ink, and,
// while grey levels are kept, its grey level.
template <bool grey> inline void mark(planes &pl, word_made &m, size_t count, std::uint32_t w, unsigned char level)
{
    std::uint64_t dark = 0 - std::uint64_t{w & INK_DARK}, opaque = 0 - std::uint64_t{(w & INK_OPAQUE) >> 8};
    m.seen |= w;
    if (grey)
        memset(pl.grey + 64 * m.word + m.bit, level, count);
    while (count > 0) {
        size_t here = count < 64 - m.bit ? count : 64 - m.bit;
        std::uint64_t bits = ((std::uint64_t{2} << (here - 1)) - 1) << m.bit; // here is 1 to 64
        m.dark |= dark & bits;
        m.opaque |= opaque & bits;
        m.bit += here;
        count -= here;
        if (m.bit == 64)
            word_done<grey>(pl, m);
    }
}

int refuse_colour(picture &p, unsigned index)
{
    return refuse(p.why, "a damaged TGA: colour %u is not in its colour map", index);
}

// Reads a unit of `bytes` bytes, as a word where it is wholly at hand (the
// bytes past it are not used); false where the input ends first.
inline bool read_unit(input &in, unsigned char unit[4], size_t bytes)
{
    if (static_cast<size_t>(in.end - in.at) >= bytes) {
        memcpy(unit, in.at, 4);
        in.at += bytes;
        return true;
    }
    return next_bytes(in, unit, bytes) == bytes;
}

// Packets of one unit repeated or of units as stored, each of 1 to 128
// units, while grey levels are kept or, once they are not, to the last
// pixel; `left` counts the pixels to come. A packet may run on into the
// next row, but not past the last. A run is inked once, whatever its
// length.
template <bool grey> int read_packets(input &in, picture &p, planes &pl, word_made &m, size_t &left)
{
    unit_kind kind = kind_of_units(p);
    size_t bytes = p.unit_bytes;
    unsigned char unit[4] = {0};
    while (left > 0 && m.keep_grey == grey) {
        int head = next_byte(in);
        size_t count = (static_cast<unsigned>(head) & 0x7F) + 1;
        if (head == EOF)
            return damaged(p, "it ends before its last pixel");
        if (count > left)
            return damaged(p, "its run-length packets run past its last pixel");
        bool repeated = (head & 0x80) != 0;
        for (size_t i = 0; i < (repeated ? 1 : count); i++) {
            if (!read_unit(in, unit, bytes))
                return damaged(p, "it ends before its last pixel");
            std::uint32_t w = unit_ink(p, kind, unit);
            if ((w & NO_COLOUR) != 0)
                return refuse_colour(p, kind == unit_kind::wide_index ? le16(unit) : unit[0]);
            mark<grey>(pl, m, repeated ? count : 1, w, grey ? unit_grey(p, kind, unit) : 0);
        }
        left -= count;
    }
    return 0;
}

// Every word of the planes is written, so they need no clearing between
// pictures.
int read_runs(input &in, picture &p, planes &pl)
{
    word_made m = {0, 0, 0, 0, 0, p.k.row_bytes / 8, true, 0, 0};
    size_t left = size_t{p.k.width} * p.k.height;
    if (read_packets<true>(in, p, pl, m, left) != 0 || read_packets<false>(in, p, pl, m, left) != 0)
        return 1;
    pl.seen = m.seen;
    pl.keep_grey = m.keep_grey;
    return 0;
}

// The planes into the sheet's, in the picture's own row order and
// direction.
void put_planes(picture &p, const planes &pl)
{
    size_t words = p.k.row_bytes / 8;
    for (size_t n = 0; n < p.k.height; n++) {
        size_t y = (p.t.descriptor & 0x20) != 0 ? n : p.k.height - 1 - n;
        for (size_t i = 0; i < words; i++) {
            memcpy(p.k.dark + y * p.k.row_bytes + 8 * i, pl.dark + n * words + i, 8);
            memcpy(p.k.opaque + y * p.k.row_bytes + 8 * i, pl.opaque + n * words + i, 8);
        }
        if (pl.keep_grey)
            memcpy(p.k.grey + y * p.k.width, pl.grey + n * p.k.width, p.k.width);
        if ((p.t.descriptor & 0x10) != 0)
            mirror_row(p.k, y);
    }
    size_t bytes = p.k.row_bytes * p.k.height;
    p.k.transparent = 8 * bytes - ones(p.k.opaque, bytes);
    p.k.alpha_anywhere = (pl.seen & INK_ALPHA) != 0;
    p.k.keep_grey = pl.keep_grey;
}

// Inks a row of colour indices, or of 8-bit grey: of 8 bits through the
// table of their inks, of 16 pixel by pixel, as such maps are rare.
int ink_indices(picture &p, size_t y, const unsigned char *row)
{
    if (p.t.depth == 8) {
        unsigned index = 0;
        if (ink_values(p.k, y, row, p.inks, p.greys) || !first_no_colour(row, p.k.width, 8, p.inks, index))
            return 0;
        return refuse_colour(p, index);
    }
    for (size_t x = 0; x < p.k.width; x++) {
        unsigned index = le16(row + 2 * x);
        if (p.inks[index] == NO_COLOUR)
            return refuse_colour(p, index);
        put_ink(p.k, x, y, p.inks[index], p.greys[index]);
    }
    return 0;
}

// Inks `row`, row `n` of the file's order.
int ink_row(picture &p, size_t n, const unsigned char *row)
{
    static const sample_places grey_alpha = {2, 0, 0, 0, 1, true}, grey_only = {2, 0, 0, 0, 0, false},
                               bgr = {3, 2, 1, 0, 0, false}, bgra = {4, 2, 1, 0, 3, true},
                               bgrx = {4, 2, 1, 0, 0, false};
    size_t y = (p.t.descriptor & 0x20) != 0 ? n : p.k.height - 1 - n;
    unsigned kind = p.t.type & 7, depth = p.t.depth;
    if (kind == COLOUR_MAPPED || (kind == GREY && depth == 8)) {
        if (ink_indices(p, y, row) != 0)
            return 1;
    } else if (kind == GREY) {
        if (depth == 1) {
            const std::uint32_t inks[2] = {p.inks[0], p.inks[255]};
            const unsigned char greys[2] = {0, 255};
            ink_bits(p.k, y, row, inks, greys);
        } else
            ink_colours(p.k, y, row, p.alpha ? grey_alpha : grey_only);
    } else if (depth <= 16) {
        ink_fields(p.k, y, row, 2, p.fields);
    } else {
        ink_colours(p.k, y, row, depth == 24 ? bgr : p.alpha ? bgra : bgrx);
    }
    if ((p.t.descriptor & 0x10) != 0)
        mirror_row(p.k, y);
    return 0;
}

} // namespace

bool is_tga_header(const unsigned char *start, size_t length)
{
    if (length < 18)
        return false;
    tga_header t = fields_of(start);
    unsigned kind = t.type & 7;
    bool known_type = (t.type & ~unsigned{RUN_LENGTH}) == kind && kind >= COLOUR_MAPPED && kind <= GREY;
    bool usual_map = kind != COLOUR_MAPPED || (t.map_type == 1 && t.depth == 8);
    return known_type && map_fits(t) && depth_fits(t) && usual_map && t.width > 0 && t.height > 0 &&
           (t.descriptor & 0xC0) == 0 && (t.descriptor & 15) <= 8;
}

bool is_tga_of_sheet_size(const unsigned char *start, size_t length)
{
    return length >= 16 && is_sheet_size(le16(start + 12), le16(start + 14));
}

namespace {

// Says why a TGA's header cannot be read, if it cannot. What the readers
// that matter ignore is ignored: the map fields of a picture without a
// map, and descriptor bits 6 and 7.
bool refuse_header(picture &p)
{
    static const char *const kinds[] = {"", "colour-mapped", "true-colour", "grey"};
    const tga_header &t = p.t;
    unsigned kind = t.type & 7;
    const char *reason = nullptr;
    char what[REASON_SIZE];
    if ((t.type & ~unsigned{RUN_LENGTH}) != kind || kind < COLOUR_MAPPED || kind > GREY)
        (void)snprintf(what, sizeof what, "image type %u, not 1, 2, 3, 9, 10 or 11", t.type);
    else if (t.map_type > 1)
        (void)snprintf(what, sizeof what, "colour map type %u, not 0 or 1", t.map_type);
    else if (kind == COLOUR_MAPPED && t.map_type == 0)
        reason = "a colour-mapped picture without a colour map";
    else if (t.map_type == 1 && t.map_length > 0 && !is_colour_depth(t.entry_bits))
        (void)snprintf(what, sizeof what, "colour map entries of %u bits", t.entry_bits);
    else if (!depth_fits(t))
        (void)snprintf(what, sizeof what, "%u-bit pixels in a %s picture", t.depth, kinds[kind]);
    else
        return false;
    (void)damaged(p, reason != nullptr ? reason : what);
    return true;
}

} // namespace

int read_tga(input &in, glyph_sheet &sheet, char why[REASON_SIZE])
{
    static picture p;
    p.why = why;
    first_bytes first = first_bytes_of(in);
    if (first.length < 18)
        return damaged(p, "it ends inside its header");
    p.t = fields_of(first.start);
    if (refuse_header(p))
        return 1;
    if (!is_sheet_size(p.t.width, p.t.height))
        return refuse_size(why, p.t.width, p.t.height);
    // Pillow's writer runs 64 units over each row of 8 bytes, and no reader
    // makes sense of what it writes.
    if (p.t.depth == 1 && (p.t.type & RUN_LENGTH) != 0) {
        (void)snprintf(why, REASON_SIZE, "a run-length encoded TGA of 1-bit pixels; save the sheet as PNG or BMP");
        return 1;
    }
    p.unit_bytes = (p.t.depth + 7) / 8;
    p.row_units = p.t.depth == 1 ? p.t.width / 8 : p.t.width;
    // Alpha where the descriptor gives it bits and the pixels have room.
    p.alpha = (p.t.descriptor & 15) != 0 && (p.t.depth == 32 || p.t.depth == 16 || (p.t.type & 7) == COLOUR_MAPPED);
    // Many writers leave the alpha of a 16- or 32-bit TGA 0 in every pixel.
    start_ink(p.k, p.t.width, p.t.height, true);
    if (!skip_bytes(in, 18 + p.t.id_length))
        return damaged(p, "it ends inside its headers");
    if (read_map(in, p) != 0)
        return 1;
    make_inks(p);
    if ((p.t.type & RUN_LENGTH) != 0) {
        static planes pl;
        if (read_runs(in, p, pl) != 0)
            return 1;
        put_planes(p, pl);
    } else {
        for (size_t n = 0; n < p.k.height; n++) {
            const unsigned char *row = take(in, p.row_units * p.unit_bytes);
            if (row == nullptr)
                return damaged(p, "it ends before its last pixel");
            if (ink_row(p, n, row) != 0)
                return 1;
        }
    }
    finish_ink(p.k, sheet);
    return 0;
}
