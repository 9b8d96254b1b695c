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
    value_colours values;              // of 8-bit indices, grey levels, or one-bit pixels
    std::uint32_t wide_inks[65536];    // of 16-bit indices
    unsigned char wide_rgba[65536][4]; // and their colours
    field_inks fields;                 // of 15- and 16-bit colours
    size_t unit_bytes, row_units;
    bool alpha; // the descriptor gives pixels alpha bits
    ink *k;
    char *why;
};

int damaged(picture &p, const char *what) { return refuse(p.why, "a damaged TGA: %s", what); }

// A colour map entry of 15, 16, 24 or 32 bits, blue first, as the colour
// of index i.
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
    a = p.alpha ? a : 255;
    if (p.t.depth == 8) {
        set_colour(p.values, static_cast<unsigned>(i), r, g, blue, a);
        return;
    }
    const unsigned char rgba[4] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                   static_cast<unsigned char>(blue), static_cast<unsigned char>(a)};
    memcpy(p.wide_rgba[i], rgba, 4);
    p.wide_inks[i] = ink_of(r, g, blue, a);
}

// Reads the colour map, if there is one, keeping the colours of the
// entries a colour-mapped picture's indices reach; an index outside it is
// no colour. A picture of another kind may carry a map, which is passed
// over.
int read_map(input &in, picture &p)
{
    const tga_header &t = p.t;
    size_t entry = (t.entry_bits + 7) / 8, reached = t.depth == 16 ? 65536 : 256;
    bool mapped = (t.type & 7) == COLOUR_MAPPED;
    unsigned char b[4] = {0, 0, 0, 0};
    // The entries the map does not give have no colour.
    size_t from = t.map_type == 1 ? t.first : reached,
           to = t.map_type == 1 ? static_cast<size_t>(t.first) + t.map_length : 0;
    for (size_t i = 0; mapped && i < reached; i++)
        if (i >= from && i < to)
            continue;
        else if (t.depth == 8)
            set_no_colour(p.values, static_cast<unsigned>(i));
        else
            p.wide_inks[i] = NO_COLOUR;
    for (unsigned i = 0; t.map_type == 1 && i < t.map_length; i++) {
        if (in.end - in.at >= 4) { // most entries, without a call
            memcpy(b, in.at, 4);
            in.at += entry;
        } else if (next_bytes(in, b, entry) != entry) {
            return damaged(p, "it ends inside its colour map");
        }
        if (mapped && t.first + i < reached)
            put_entry(p, t.first + i, b);
    }
    return 0;
}

// How the pixels give colours where no colour map does: grey levels, one
// bit a pixel black and white, or bit fields.
void make_inks(picture &p)
{
    if ((p.t.type & 7) == GREY && p.t.depth == 1) {
        set_colour(p.values, 0, 0, 0, 0, 255);
        set_colour(p.values, 1, 255, 255, 255, 255);
        for (unsigned v = 2; v < 256; v++)
            set_no_colour(p.values, v);
        pack_colours(p.values, 1);
    } else if ((p.t.type & 7) == GREY) {
        set_greys(p.values, 255);
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
// `told`, as the loop over runs sees it, stands for each kind where a
// colour is told, so that one switch serves both.
enum class unit_kind { index, wide_index, grey_alpha, fields, blue_green_red, with_alpha, told };

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

// One unit of 8 bits or more as 8-bit red, green, blue and alpha.
void unit_rgba(const picture &p, unit_kind kind, const unsigned char *u, unsigned char rgba[4])
{
    switch (kind) {
    case unit_kind::index: memcpy(rgba, p.values.rgba[u[0]], 4); return;
    case unit_kind::wide_index: memcpy(rgba, p.wide_rgba[le16(u)], 4); return;
    case unit_kind::fields: field_rgba(p.fields, le16(u), rgba); return;
    case unit_kind::grey_alpha: {
        const unsigned char c[4] = {u[0], u[0], u[0], p.alpha ? u[1] : static_cast<unsigned char>(255)};
        memcpy(rgba, c, 4);
        return;
    }
    default: {
        const unsigned char c[4] = {u[2], u[1], u[0],
                                    kind == unit_kind::with_alpha ? u[3] : static_cast<unsigned char>(255)};
        memcpy(rgba, c, 4);
        return;
    }
    }
}

// The ink of one unit where a colour is told: its dark bit whether the
// unit is that colour. Out of line, as it is rare, to keep the loop over
// units small.
[[gnu::noinline]] std::uint32_t told_unit_ink(const picture &p, unit_kind kind, const unsigned char *u)
{
    unsigned char c[4];
    unit_rgba(p, kind, u, c);
    std::uint32_t w = ink_of(c[0], c[1], c[2], c[3]) & ~std::uint32_t{INK_DARK};
    if ((kind == unit_kind::wide_index && p.wide_inks[le16(u)] == NO_COLOUR) ||
        (kind == unit_kind::index && p.values.inks[u[0]] == NO_COLOUR))
        return NO_COLOUR;
    return w | (memcmp(c, p.k->colour, 3) == 0 ? 1U : 0U);
}

// The ink of one unit of 8 bits or more.
inline std::uint32_t unit_ink(const picture &p, unit_kind kind, const unsigned char *u)
{
    switch (kind) {
    case unit_kind::told: return told_unit_ink(p, kind_of_units(p), u);
    case unit_kind::index: return p.values.inks[u[0]];
    case unit_kind::wide_index: return p.wide_inks[le16(u)];
    case unit_kind::grey_alpha: return ink_of(u[0], u[0], u[0], p.alpha ? u[1] : 255);
    case unit_kind::fields: return field_ink(p.fields, le16(u));
    case unit_kind::blue_green_red: return ink_of(u[2], u[1], u[0], 255);
    default: return ink_of(u[2], u[1], u[0], u[3]);
    }
}

unsigned char unit_grey(const picture &p, unit_kind kind, const unsigned char *u)
{
    unsigned char c[4];
    unit_rgba(p, kind, u, c);
    return grey_of(c[0], c[1], c[2]);
}

// The row of the picture row `n` of the file's order is.
size_t row_of(const picture &p, size_t n) { return (p.t.descriptor & 0x20) != 0 ? n : p.k->height - 1 - n; }

// The word of the planes being made, kept apart from them, where the
// compiler can hold it in registers: at bit `bit` of the word of row `n`
// of the file's order that starts at pixel x, with `room` pixels to go
// before the word or the row ends; the inks seen; and whether grey levels
// are kept, as the ink's, brought up to date as each row is done while
// they are.
struct word_made {
    std::uint64_t dark, opaque;
    size_t x, bit, room, n;
    std::uint32_t seen;
    bool keep_grey;
};

// The room in the word that starts at pixel x of a row `width` wide.
inline size_t room_from(size_t x, size_t width) { return width - x < 64 ? width - x : 64; }

// Row y done: what the row loops count of it, with `seen` the inks seen so
// far, and the row turned round where it is stored right to left; whether
// grey levels are still kept.
inline bool row_done(picture &p, size_t y, std::uint32_t seen)
{
    const ink &k = *p.k;
    const unsigned char *row = k.opaque + y * k.row_bytes;
    std::uint64_t clear = 0, o = 0; // the pixels not opaque
    for (size_t i = 0; i < k.width / 64; i++) {
        memcpy(&o, row + 8 * i, 8);
        clear |= ~o;
    }
    if (k.width % 64 != 0) {
        memcpy(&o, row + size_t{k.width} / 64 * 8, 8);
        clear |= ~o & ((std::uint64_t{1} << (k.width % 64)) - 1);
    }
    bool all_opaque = clear == 0;
    bool alpha = (seen & INK_ALPHA) != 0;
    // An opaque row tells the row loops nothing new once they know of its
    // alpha and keep no grey levels: the bits past its end are 0 already.
    if (!all_opaque || (alpha && !k.alpha_anywhere) || k.keep_grey)
        planes_put(*p.k, y, alpha, all_opaque);
    if ((p.t.descriptor & 0x10) != 0)
        mirror_row(*p.k, y);
    return p.k->keep_grey;
}

// The word done: into the planes, and on to the next row where the row
// ends. While grey levels are kept, the row is done at once, as whether
// they still are depends on it; once they are not, the rows are done after
// the last packet, which keeps calls out of the loop over packets.
template <bool grey> inline void word_done(picture &p, word_made &m)
{
    ink &k = *p.k;
    size_t y = row_of(p, m.n), at = y * k.row_bytes + m.x / 8;
    memcpy(k.dark + at, &m.dark, 8);
    memcpy(k.opaque + at, &m.opaque, 8);
    m.dark = m.opaque = 0;
    m.x += m.bit;
    m.bit = 0;
    if (m.x < k.width) {
        m.room = room_from(m.x, k.width);
        return;
    }
    if (grey)
        m.keep_grey = row_done(p, y, m.seen);
    m.x = 0;
    m.room = room_from(0, k.width);
    m.n++;
}

// Marks `count` pixels on from where the last left off with one ink, and,
// while grey levels are kept, its grey level.
template <bool grey> inline void mark(picture &p, word_made &m, size_t count, std::uint32_t w, unsigned char level)
{
    std::uint64_t dark = 0 - std::uint64_t{w & INK_DARK}, opaque = 0 - std::uint64_t{(w & INK_OPAQUE) >> 8};
    m.seen |= w;
    while (count > 0) {
        size_t here = count < m.room ? count : m.room;
        if (grey)
            memset(p.k->grey + row_of(p, m.n) * p.k->width + m.x + m.bit, level, here);
        std::uint64_t bits = ((std::uint64_t{2} << (here - 1)) - 1) << m.bit; // here is 1 to 64
        m.dark |= dark & bits;
        m.opaque |= opaque & bits;
        m.bit += here;
        m.room -= here;
        count -= here;
        if (m.room == 0)
            word_done<grey>(p, m);
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

// Keeps the colour of `count` pixels on from where the runs stand, for
// the page.
void keep_run(const picture &p, const word_made &m, size_t count, unit_kind kind, const unsigned char *unit)
{
    unsigned char c[4];
    unit_rgba(p, kind, unit, c);
    for (size_t i = 0, n = m.n, x = m.x + m.bit; i < count; i++, x++) {
        if (x == p.k->width) {
            x = 0;
            n++;
        }
        memcpy(p.k->rgba + 4 * (row_of(p, n) * p.k->width + x), c, 4);
    }
}

// Packets of one unit repeated or of units as stored, each of 1 to 128
// units, while grey levels are kept or, once they are not, to the last
// pixel; `left` counts the pixels to come. A packet may run on into the
// next row, but not past the last. A run is inked once, whatever its
// length.
// Where the page keeps each pixel's colour (`keep`), every run goes the
// slow way, with its grey levels, to the last. One loop, the packet's
// head read in it: split, the compiler keeps less of it in registers, and
// the runs cost a twentieth more.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
template <bool grey, bool keep = false> int read_packets(input &in, picture &p, word_made &m, size_t &left)
{
    const unit_kind kind = kind_of_units(p), looked_up = p.k->told_colour ? unit_kind::told : kind;
    const size_t bytes = p.unit_bytes;
    unsigned char unit[4] = {0};
    while (left > 0 && (keep || m.keep_grey == grey)) {
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
            std::uint32_t w = unit_ink(p, looked_up, unit);
            if ((w & NO_COLOUR) != 0)
                return refuse_colour(p, kind == unit_kind::wide_index ? le16(unit) : unit[0]);
            if (keep)
                keep_run(p, m, repeated ? count : 1, kind, unit);
            mark<grey>(p, m, repeated ? count : 1, w, grey ? unit_grey(p, kind, unit) : 0);
        }
        left -= count;
    }
    return 0;
}

int read_runs(input &in, picture &p)
{
    word_made m = {0, 0, 0, 0, room_from(0, p.k->width), 0, 0, p.k->keep_grey};
    size_t left = size_t{p.k->width} * p.k->height;
    if (p.k->rgba != nullptr)
        return read_packets<true, true>(in, p, m, left);
    if (read_packets<true>(in, p, m, left) != 0)
        return 1;
    size_t done = m.n; // the rows done as grey levels were kept
    if (read_packets<false>(in, p, m, left) != 0)
        return 1;
    for (size_t n = done; n < p.k->height; n++)
        (void)row_done(p, row_of(p, n), m.seen);
    return 0;
}

// Inks a row of colour indices, or of 8-bit grey: of 8 bits through the
// table of their inks, of 16 pixel by pixel, as such maps are rare.
int ink_indices(picture &p, size_t y, const unsigned char *row)
{
    if (p.t.depth == 8) {
        unsigned bad = 0;
        return ink_values(*p.k, y, row, p.values, bad) == 0 ? 0 : refuse_colour(p, bad);
    }
    for (size_t x = 0; x < p.k->width; x++) {
        unsigned index = le16(row + 2 * x);
        if (p.wide_inks[index] == NO_COLOUR)
            return refuse_colour(p, index);
        put_pixel(*p.k, x, y, p.wide_rgba[index]);
    }
    pixels_put(*p.k, y);
    return 0;
}

// Inks `row`, row `n` of the file's order.
int ink_row(picture &p, size_t n, const unsigned char *row)
{
    static const sample_places grey_alpha = {2, 0, 0, 0, 1, true}, grey_only = {2, 0, 0, 0, 0, false},
                               bgr = {3, 2, 1, 0, 0, false}, bgra = {4, 2, 1, 0, 3, true},
                               bgrx = {4, 2, 1, 0, 0, false};
    ink &k = *p.k;
    size_t y = row_of(p, n);
    unsigned kind = p.t.type & 7, depth = p.t.depth, bad = 0;
    if (kind == COLOUR_MAPPED || (kind == GREY && depth == 8)) {
        if (ink_indices(p, y, row) != 0)
            return 1;
    } else if (kind == GREY && depth == 1) {
        (void)ink_packed(k, y, row, 1, p.values, bad);
    } else if (kind == GREY) {
        ink_colours(k, y, row, p.alpha ? grey_alpha : grey_only);
    } else if (depth <= 16) {
        ink_fields(k, y, row, 2, p.fields);
    } else {
        ink_colours(k, y, row, depth == 24 ? bgr : p.alpha ? bgra : bgrx);
    }
    if ((p.t.descriptor & 0x10) != 0)
        mirror_row(k, y);
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

// Says why a TGA's header cannot be read, if it cannot: 0, or 1 with
// `why` filled in. What the readers that matter ignore is ignored: the
// map fields of a picture without a map, and descriptor bits 6 and 7.
int refuse_header(picture &p)
{
    static const char *const kinds[] = {"", "colour-mapped", "true-colour", "grey"};
    const tga_header &t = p.t;
    unsigned kind = t.type & 7;
    if ((t.type & ~unsigned{RUN_LENGTH}) != kind || kind < COLOUR_MAPPED || kind > GREY)
        return refuse(p.why, "a damaged TGA: image type %u, not 1, 2, 3, 9, 10 or 11", t.type);
    if (t.map_type > 1)
        return refuse(p.why, "a damaged TGA: colour map type %u, not 0 or 1", t.map_type);
    if (kind == COLOUR_MAPPED && t.map_type == 0)
        return damaged(p, "a colour-mapped picture without a colour map");
    if (t.map_type == 1 && t.map_length > 0 && !is_colour_depth(t.entry_bits))
        return refuse(p.why, "a damaged TGA: colour map entries of %u bits", t.entry_bits);
    if (!depth_fits(t))
        return refuse(p.why, "a damaged TGA: %u-bit pixels in a %s picture", t.depth, kinds[kind]);
    return 0;
}

} // namespace

int read_tga(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    static picture p;
    p.why = why;
    p.k = &k;
    first_bytes first = first_bytes_of(in);
    if (first.length < 18)
        return damaged(p, "it ends inside its header");
    p.t = fields_of(first.start);
    if (refuse_header(p) != 0 || fit_ink(k, t, p.t.width, p.t.height, why) != 0)
        return 1;
    // Pillow's writer runs 64 units over each row of 8 bytes, and no reader
    // makes sense of what it writes.
    if (p.t.depth == 1 && (p.t.type & RUN_LENGTH) != 0)
        return refuse(why, "a run-length encoded TGA of 1-bit pixels; save the sheet as PNG or BMP");
    p.unit_bytes = (p.t.depth + 7) / 8;
    p.row_units = p.t.depth == 1 ? (p.t.width + 7) / 8 : p.t.width;
    // Alpha where the descriptor gives it bits and the pixels have room.
    p.alpha = (p.t.descriptor & 15) != 0 && (p.t.depth == 32 || p.t.depth == 16 || (p.t.type & 7) == COLOUR_MAPPED);
    // Many writers leave the alpha of a 16- or 32-bit TGA 0 in every pixel.
    start_ink(k, true);
    if (!skip_bytes(in, 18 + p.t.id_length))
        return damaged(p, "it ends inside its headers");
    if (read_map(in, p) != 0)
        return 1;
    make_inks(p);
    if ((p.t.type & RUN_LENGTH) != 0)
        return read_runs(in, p);
    for (size_t n = 0; n < k.height; n++) {
        const unsigned char *row = take(in, p.row_units * p.unit_bytes);
        if (row == nullptr)
            return damaged(p, "it ends before its last pixel");
        if (ink_row(p, n, row) != 0)
            return 1;
    }
    return 0;
}
