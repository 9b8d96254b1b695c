// The readers and writers of both formats on real streams: temporary files,
// a pipe, a directory and a full device.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "glyph_sheet.h"
#include "harness.h"
#include "picture.h"
#include "program.h"

namespace {

// A 64 x 128 sheet's font: 128 glyphs of 8 bytes.
constexpr size_t sheet_bytes = 1024;

bytes random_bytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    bytes b(n);
    for (auto &x : b)
        x = static_cast<unsigned char>(gen());
    return b;
}

FILE *stream_of(const bytes &content)
{
    FILE *f = tmpfile();
    EXPECT_NE(f, nullptr);
    // fwrite may not be handed the null data() of an empty vector.
    if (!content.empty()) {
        EXPECT_EQ(fwrite(content.data(), 1, content.size(), f), content.size());
    }
    rewind(f);
    return f;
}

struct read_result {
    int status;
    bytes font; // as glyphrip cuts it
    std::string why;
};

// glyphrip's reader, or glyphsheet's of a raw font, whose sheet is given
// as its bits.
int glyphrip_read(input &in, char why[REASON_SIZE]) { return read_font_picture(in, nothing_told("glyphrip"), why); }
[[maybe_unused]] int glyphsheet_read(input &in, char why[REASON_SIZE]) // not on Windows, below
{
    static glyph_sheet sheet;
    return read_font(in, sheet, why);
}
using reader = decltype(&glyphrip_read);

read_result read_from(FILE *f, reader read = glyphrip_read)
{
    static input in;
    char why[REASON_SIZE] = "";
    int status = open_input(in, f);
    if (status == 0)
        status = read(in, why);
    const font &cut = font_read();
    return {status, status == 0 ? bytes(cut.data, cut.data + cut.length) : bytes(), why};
}

read_result read_bytes(const bytes &content)
{
    FILE *f = stream_of(content);
    read_result r = read_from(f);
    fclose(f);
    return r;
}

TEST(ReverseBits, MirrorsEveryByteAndTurnsEndOfFileIntoFF)
{
    const int pairs[][2] = {{0x80, 0x01}, {0x01, 0x80}, {0x12, 0x48}, {0xF0, 0x0F},
                            {0xA5, 0xA5}, {0x3C, 0x3C}, {0x00, 0x00}, {0xFF, 0xFF}};
    for (const auto &p : pairs)
        EXPECT_EQ(reverse_bits(p[0]), p[1]) << p[0];
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(reverse_bits(v), mirror(v)) << v;
    EXPECT_EQ(reverse_bits(EOF), 0xFF);
}

// The plain layout, pixel data from byte 62: font byte 128c + 8g + s is
// the mirror of file byte 62 + 8 (127 - 8g - s) + c (font_of).
TEST(ReadSheet, TakesRowsBottomUpFromByte62WhateverTheHeaderSays)
{
    bytes file = random_bytes(sheet_size, 1);
    FILE *f = stream_of(file);
    read_result r = read_from(f);
    EXPECT_EQ(ftell(f), static_cast<long>(sheet_size));
    fclose(f);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.font, font_of(file));

    // The first bytes of the bottom and top picture rows, by hand: sheet
    // row r, byte b is font byte 128 b + r.
    bytes marks(sheet_size, 0);
    marks[62] = 0x80;
    marks[69] = 0x01;
    marks[62 + 8 * 127] = 0x12;
    marks[62 + 8 * 127 + 7] = 0xF0;
    bytes font = read_bytes(marks).font;
    EXPECT_EQ(font[127], 0x01);
    EXPECT_EQ(font[size_t{128} * 7 + 127], 0x80);
    EXPECT_EQ(font[0], 0x48);
    EXPECT_EQ(font[size_t{128} * 7], 0x0F);
}

TEST(ReadSheet, FillsWhatTheFileLacksWithFF)
{
    bytes file = random_bytes(sheet_size, 2);
    bytes six_short(file.begin(), file.end() - 6);
    read_result r = read_bytes(six_short);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.font, font_of(six_short));
    for (size_t b = 2; b < 8; b++)
        EXPECT_EQ(r.font[128 * b], 0xFF) << b;
    for (size_t size : {0, 1, 61, 62}) {
        r = read_bytes(bytes(file.begin(), file.begin() + static_cast<long>(size)));
        EXPECT_EQ(r.status, 0) << size;
        EXPECT_EQ(r.font, bytes(sheet_bytes, 0xFF)) << size;
    }
}

TEST(ReadSheet, IgnoresBytesAfterTheSheet)
{
    bytes file = random_bytes(sheet_size + 500, 3);
    EXPECT_EQ(read_bytes(file).font, read_bytes(bytes(file.begin(), file.begin() + sheet_size)).font);
}

TEST(ReadSheet, SkipsTheHeaderOfAPipeByReadingIt)
{
#ifdef _WIN32
    GTEST_SKIP() << "no file name reaches a pipe on Windows";
#else
    for (size_t size : {size_t{sheet_size}, size_t{sheet_size - 6}, size_t{40}}) {
        bytes file = random_bytes(size, 4);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        // The whole file fits in the pipe's buffer, so it can go in at once.
        ASSERT_EQ(write(fds[1], file.data(), file.size()), static_cast<ssize_t>(file.size()));
        close(fds[1]);
        FILE *f = fdopen(fds[0], "rb");
        ASSERT_NE(f, nullptr);
        read_result from_pipe = read_from(f);
        fclose(f);

        EXPECT_EQ(from_pipe.status, 0) << size;
        EXPECT_EQ(from_pipe.font, read_bytes(file).font) << size;
    }
#endif
}

TEST(Readers, ReportAReadErrorInsteadOfFilling)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not open a directory as a stream";
#else
    for (reader read : {glyphrip_read, glyphsheet_read}) {
        FILE *dir = fopen(".", "rb");
        ASSERT_NE(dir, nullptr);
        errno = 0;
        EXPECT_EQ(read_from(dir, read).status, -1);
        EXPECT_EQ(errno, EISDIR);
        fclose(dir);
    }
#endif
}

// The 64 x 128 sheet is cut column by column, top to bottom; the two
// sheets 16 glyphs wide row by row, left to right.
TEST(CutBits, TakesGlyphsInTheOrderOfEachSheet)
{
    const struct {
        unsigned width, height;
        bool by_columns;
    } sizes[] = {{64, 128, true}, {128, 64, false}, {128, 128, false}};
    for (const auto &size : sizes) {
        size_t columns = size.width / 8, rows = size.height / 8;
        layout l;
        ASSERT_TRUE(sheet_layout(size.width, size.height, l));
        bytes sheet = random_bytes(columns * size.height + 8, 5), font(columns * size.height);
        cut_bits(sheet.data(), columns, l, font.data());
        for (size_t c = 0; c < columns; c++)
            for (size_t g = 0; g < rows; g++)
                for (size_t s = 0; s < 8; s++) {
                    size_t n = size.by_columns ? c * rows + g : g * columns + c;
                    ASSERT_EQ(font[8 * n + s], sheet[(8 * g + s) * columns + c])
                        << size.width << " x " << size.height << ": column " << c << " glyph row " << g;
                }
    }
}

// A font of a quarter ink, so that a picture of it is dark ink on light
// paper by any rule.
const bytes quarter_ink = [] {
    bytes a = random_bytes(font_size, 7), b = random_bytes(font_size, 8);
    for (size_t i = 0; i < font_size; i++)
        a[i] &= b[i];
    return a;
}();
bool ink_at(size_t x, size_t y) { return (quarter_ink[128 * (x / 8) + y] >> (x % 8) & 1) != 0; }

// A TGA of the font, top row first, from an 18-byte header whose fields
// `patch` overrides, a colour map and the pixels, `index_bytes` each: the
// two values given for ink and paper, little-endian.
bytes tga(const std::vector<std::pair<size_t, int>> &patch, const bytes &map, size_t index_bytes, unsigned ink,
          unsigned paper)
{
    bytes b = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 128, 0, 8, 0x20};
    for (const auto &p : patch)
        b[p.first] = static_cast<unsigned char>(p.second);
    b.insert(b.end(), map.begin(), map.end());
    for (size_t y = 0; y < 128; y++)
        for (size_t x = 0; x < 64; x++)
            for (size_t i = 0; i < index_bytes; i++)
                b.push_back(static_cast<unsigned char>((ink_at(x, y) ? ink : paper) >> (8 * i)));
    return b;
}
bytes first(bytes b, size_t n)
{
    b.resize(n);
    return b;
}
bytes grey_tga(const std::vector<std::pair<size_t, int>> &patch) { return tga(patch, {}, 1, 0, 255); }
// A colour map of `entries` of 24 bits, black where given, else white.
bytes map_of(size_t entries, const std::vector<size_t> &black)
{
    bytes m(3 * entries, 0xFF);
    for (size_t i : black)
        m[3 * i] = m[3 * i + 1] = m[3 * i + 2] = 0;
    return m;
}

// An RLE8 BMP of the font, bottom row first, a run for each pixel, each
// row ended; its last `cut` bytes taken away.
bytes rle8(size_t cut)
{
    bytes runs;
    for (size_t n = 0; n < 128; n++) {
        for (size_t x = 0; x < 64; x++)
            runs.insert(runs.end(), {1, static_cast<unsigned char>(ink_at(x, 127 - n) ? 1 : 0)});
        runs.insert(runs.end(), {0, 0});
    }
    runs.insert(runs.end(), {0, 1});
    return bmp_file({40, false, 64, 128, 8, 1}, first(runs, runs.size() - cut));
}

bytes pam(const std::string &comment)
{
    std::string h = "P7\n" + comment + "WIDTH 64\nHEIGHT 128\nDEPTH 1\nMAXVAL 255\nENDHDR\n";
    bytes b(h.begin(), h.end());
    for (size_t y = 0; y < 128; y++)
        for (size_t x = 0; x < 64; x++)
            b.push_back(ink_at(x, y) ? 0 : 255);
    return b;
}

// Pictures that the format lets a reader read though a field is odd, and
// damaged ones, each refused in one line; "" for the quarter-ink font.
TEST(Readers, ReadWhatTheFormatAllowsAndRefuseTheDamaged)
{
    // clang-format off
    const struct {
        const char *name;
        bytes file;
        const char *refused;
    } cases[] = {
        {"TGA, map fields without a map",       grey_tga({{3, 5}, {5, 9}, {7, 24}}), ""},
        {"TGA, map type 1 of no entries",       grey_tga({{1, 1}, {7, 24}}), ""},
        {"TGA, descriptor bits 6 and 7",        grey_tga({{17, 0xE0}}), ""},
        {"TGA, a map of true colour skipped",   tga({{1, 1}, {2, 2}, {5, 2}, {7, 24}, {16, 24}}, map_of(2, {}), 3, 0, 0xFFFFFF), ""},
        {"TGA, a map past 256 entries",         tga({{1, 1}, {2, 1}, {5, 0x2C}, {6, 1}, {7, 24}}, map_of(300, {7}), 1, 7, 9), ""},
        {"TGA, 16-bit indices",                 tga({{1, 1}, {2, 1}, {3, 0x2C}, {4, 1}, {5, 2}, {7, 24}, {16, 16}}, map_of(2, {1}), 2, 301, 300), ""},
        {"TGA, 16-bit index past the map",      tga({{1, 1}, {2, 1}, {5, 2}, {7, 24}, {16, 16}}, map_of(2, {1}), 2, 1, 700), "a damaged TGA: colour 700 is not in its colour map"},
        {"TGA, image type 5",                   grey_tga({{2, 5}}), "a damaged TGA: image type 5, not 1, 2, 3, 9, 10 or 11"},
        {"TGA, map type 9",                     grey_tga({{1, 9}}), "a damaged TGA: colour map type 9, not 0 or 1"},
        {"TGA, grey of 12 bits",                grey_tga({{16, 12}}), "a damaged TGA: 12-bit pixels in a grey picture"},
        {"TGA, colour-mapped without a map",    grey_tga({{2, 1}}), "a damaged TGA: a colour-mapped picture without a colour map"},
        {"TGA, map entries of 12 bits",         grey_tga({{1, 1}, {5, 2}, {7, 12}}), "a damaged TGA: colour map entries of 12 bits"},
        {"TGA, cut in its header",              first(grey_tga({}), 16), "a damaged TGA: it ends inside its header"},
        {"PAM, a comment holding a return",     pam("# made\rby hand\n"), ""},
        {"RLE8 BMP without its end mark",       rle8(2), ""},
        {"RLE8 BMP without its last row's end", rle8(4), ""},
        {"RLE8 BMP without its last pixel",     rle8(6), "a damaged BMP: it ends before its last pixel"},
    };
    // clang-format on
    for (const auto &c : cases) {
        read_result r = read_bytes(c.file);
        EXPECT_EQ(r.status, *c.refused == '\0' ? 0 : 1) << c.name;
        EXPECT_EQ(r.why, c.refused) << c.name;
        if (r.status == 0) {
            EXPECT_EQ(r.font, quarter_ink) << c.name;
        }
    }
}

// Four bytes as an icon begins, then no directory that can be one: the
// raw layout, as the tool always read it.
TEST(ReadSheet, TakesAnIconWithoutADirectoryAsTheRawLayout)
{
    bytes file(sheet_size, 0);
    file[2] = 1;
    file[100] = 0x5A;
    read_result r = read_bytes(file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.font, font_of(file));
}

// One pixel from the picture to the font: the top-left pixel of glyph 17
// (sheet column 1, glyph row 1) is the top bit of file byte 62 + 8 * 119 + 1
// and must become bit 0 of font byte 136, and nothing else may be set.
TEST(Conversion, CarriesOnePixelToItsGlyph)
{
    const struct {
        size_t file_offset;
        size_t font_offset;
    } roads[] = {{62 + 8 * 119 + 1, 136}, {62 + 8 * 127, 0}, {62 + 8 * 127 + 1, 128}, {69, 1023}};
    for (const auto &road : roads) {
        bytes file(sheet_size, 0);
        file[road.file_offset] = 0x80;
        bytes font = read_bytes(file).font;
        bytes expected(1024, 0);
        expected[road.font_offset] = 0x01;
        EXPECT_EQ(font, expected) << "file offset " << road.file_offset;
    }
}

} // namespace

namespace {

// A picture's pixels as 8-bit samples, red, green, blue and alpha.
struct rgba {
    unsigned r, g, b, a;
    bool operator==(const rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
using picture = std::vector<rgba>;

// Pixels many of which stand near where the rule turns: dark or not by a
// step, alpha 0, 127, 128 or 255, mostly opaque; many in runs of one
// colour.
picture random_pixels(size_t n, std::mt19937 &gen, bool alpha)
{
    std::uniform_int_distribution<unsigned> any(0, 255), pick(0, 7);
    static const unsigned alphas[] = {0, 127, 128, 255, 255, 255, 255, 255};
    picture pixels;
    for (size_t i = 0; i < n; i++) {
        if (i > 0 && pick(gen) < 5) { // a run
            pixels.push_back(pixels.back());
            continue;
        }
        unsigned r = any(gen), g = any(gen);
        int b = (128000 - 299 * static_cast<int>(r) - 587 * static_cast<int>(g)) / 114 +
                static_cast<int>(pick(gen) % 3) - 1;
        b = pick(gen) == 0 ? static_cast<int>(any(gen)) : b < 0 ? 0 : b > 255 ? 255 : b;
        pixels.push_back({r, g, static_cast<unsigned>(b), alpha ? alphas[pick(gen)] : 255});
    }
    return pixels;
}

// A picture of `width` x `height` to ink, cut in cells of 8 x 8 along the
// rows, which cover it.
// The ink of a picture cut into cells that cover it: 8 x 8 where they fit
// it, as a sheet's do, otherwise a cell a pixel.
void begin(ink &k, unsigned width, unsigned height, bool zero_alpha_is_opaque)
{
    told t = nothing_told("glyphcut");
    t.cell = t.order = true;
    if (width % 8 != 0 || height % 8 != 0)
        t.l.cell_width = t.l.cell_height = 1;
    char why[REASON_SIZE] = "";
    ASSERT_EQ(fit_ink(k, t, width, height, why), 0) << why;
    start_ink(k, zero_alpha_is_opaque);
}

// The font's bits as the picture holds them, rows top first, each cell's
// rows back where they stand; and which part of the rule gave them.
bytes picture_bits(ink &k, ink_from *from = nullptr)
{
    static font f;
    char why[REASON_SIZE] = "";
    EXPECT_EQ(finish_font(k, f, why), 0) << why;
    size_t columns = (k.width + 7) / 8;
    bytes bits(columns * k.height);
    for (size_t n = 0; n < f.l.count && f.l.cell_width == 8; n++)
        for (size_t s = 0; s < 8; s++)
            bits[(8 * (n / columns) + s) * columns + n % columns] = f.data[8 * n + s];
    for (size_t n = 0; n < f.l.count && f.l.cell_width == 1; n++) // a pixel a glyph
        bits[n / k.width * columns + n % k.width / 8] |= static_cast<unsigned char>(f.data[n] << (n % k.width % 8));
    if (from != nullptr)
        *from = f.ink;
    return bits;
}

// The sheet a picture gives when each pixel is put by the plain way.
bytes by_reference(unsigned width, const picture &pixels, bool zero_alpha_is_opaque)
{
    static ink k;
    begin(k, width, static_cast<unsigned>(pixels.size() / width), zero_alpha_is_opaque);
    for (size_t i = 0; i < pixels.size(); i++) {
        const rgba &p = pixels[i];
        const unsigned char c[4] = {static_cast<unsigned char>(p.r), static_cast<unsigned char>(p.g),
                                    static_cast<unsigned char>(p.b), static_cast<unsigned char>(p.a)};
        put_pixel(k, i % width, i / width, c);
        if (i % width == width - 1)
            pixels_put(k, i / width);
    }
    return picture_bits(k);
}

// Samples as a layout stores them, of 8 bits or, `sixteen`, as 16.
bytes stored(const rgba *p, size_t n, const sample_places &l, bool sixteen)
{
    bytes row(n * l.step, 0x5A);
    size_t wide = sixteen ? 2 : 1;
    for (size_t x = 0; x < n; x++) {
        const size_t at[] = {l.red, l.green, l.blue, l.alpha};
        const unsigned v[] = {p[x].r, p[x].g, p[x].b, p[x].a};
        for (size_t c = 0; c < (l.has_alpha ? 4 : 3); c++)
            for (size_t i = 0; i < wide; i++)
                row[x * l.step + at[c] + i] = static_cast<unsigned char>(v[c]); // 16 bits: v * 257
    }
    return row;
}

// Every way a reader stores a row and the loop that inks it: samples of 8
// and 16 bits in each layout, values through a table, packed or a byte
// each, one bit of two colours, keyed colours and bit fields.
enum class row_way { samples, deep, values, bits, keyed, fields };
struct row_kind {
    row_way way;
    sample_places l;        // samples
    unsigned depth;         // values
    std::uint32_t masks[4]; // fields
    [[nodiscard]] std::string name() const
    {
        static const char *const ways[] = {"8-bit samples", "16-bit samples", "values",
                                           "two colours",   "keyed",          "fields"};
        return std::string(ways[static_cast<int>(way)]) + " " + std::to_string(l.step) + "/" + std::to_string(l.red) +
               "/" + std::to_string(depth) + "/" + std::to_string(masks[0]);
    }
};
std::vector<row_kind> every_row_kind()
{
    // The layouts of samples with loops of their own, as the table gives
    // them, and one without, which the loop for any layout inks.
    size_t known = 0;
    const sample_places *table = samples_with_loops(false, known);
    std::vector<sample_places> layouts(table, table + known);
    layouts.push_back({4, 1, 2, 3, 0, true});
    const std::uint32_t shapes[][4] = {{0xF800, 0x07E0, 0x001F, 0},
                                       {0x7C00, 0x03E0, 0x001F, 0},
                                       {0x7C00, 0x03E0, 0x001F, 0x8000},
                                       {0x0F00, 0x00F0, 0x000F, 0xF000},
                                       {0x3F000000, 0x00FC0000, 0x0000FF00, 0x000000C0}};
    std::vector<row_kind> kinds;
    for (const sample_places &l : layouts)
        for (row_way way : {row_way::samples, row_way::deep})
            kinds.push_back({way, l, 0, {}});
    for (unsigned depth : {1U, 2U, 4U, 8U})
        kinds.push_back({row_way::values, {}, depth, {}});
    kinds.push_back({row_way::bits, {}, 1, {}});
    kinds.push_back({row_way::keyed, {3, 0, 1, 2, 0, false}, 0, {}});
    for (const auto &masks : shapes)
        kinds.push_back({row_way::fields, {}, 0, {masks[0], masks[1], masks[2], masks[3]}});
    return kinds;
}

bool is_grey(const rgba &p) { return p.r == p.g && p.g == p.b; }

// A sample of 8 bits as a bit field holds it, and back.
std::uint32_t to_field(unsigned v, const bit_field &f) { return (v * f.max + 127) / 255; }
rgba as_fields(const rgba &p, const bit_field f[4], std::uint32_t &word)
{
    const unsigned v[4] = {p.r, p.g, p.b, p.a};
    unsigned back[4];
    word = 0;
    for (size_t c = 0; c < 4; c++) {
        std::uint32_t s = f[c].mask == 0 ? 0 : to_field(v[c], f[c]);
        word |= s << f[c].shift;
        back[c] = f[c].mask == 0 ? (c == 3 ? 255 : 0) : to_8_bits(s, f[c].max);
    }
    return {back[0], back[1], back[2], back[3]};
}

// The sheet the picture gives through one kind's row loop, and in `seen`
// the pixels as that loop sees them (bit fields hold fewer bits); false
// where the kind cannot hold the picture.
bool through(const row_kind &kind, unsigned width, const picture &pixels, bytes &sheet_bits, picture &seen)
{
    static ink k;
    seen = pixels;
    bool opaque = true, grey = true;
    std::vector<rgba> colours; // distinct, in order of first use
    for (const auto &p : pixels) {
        opaque = opaque && p.a == 255;
        grey = grey && is_grey(p);
        if (colours.size() <= 256 && std::find(colours.begin(), colours.end(), p) == colours.end())
            colours.push_back(p);
    }
    static value_colours values;
    unsigned char key[3] = {0, 0, 0};
    static field_inks fields;
    bit_field f[4];
    std::vector<std::uint32_t> words;
    switch (kind.way) {
    case row_way::samples:
    case row_way::deep:
        if ((!kind.l.has_alpha && !opaque) || (kind.l.step <= 2 && !grey))
            return false;
        break;
    case row_way::values:
    case row_way::bits:
        if (colours.size() > (1U << kind.depth))
            return false;
        for (unsigned v = 0; v < 256; v++)
            if (v < colours.size())
                set_colour(values, v, colours[v].r, colours[v].g, colours[v].b, colours[v].a);
            else
                set_no_colour(values, v);
        if (kind.depth < 8)
            pack_colours(values, kind.depth);
        break;
    case row_way::keyed: {
        // Transparent pixels all of one colour that no opaque one has; where
        // there are none, a key no pixel has.
        auto see_through = std::find_if(pixels.begin(), pixels.end(), [](const rgba &p) { return p.a != 255; });
        const rgba clear = see_through != pixels.end() ? *see_through : rgba{1, 2, 3, 0};
        for (const auto &p : pixels)
            if ((p.a != 255 && !(p == clear)) || (p.a == 255 && p.r == clear.r && p.g == clear.g && p.b == clear.b))
                return false;
        if (clear.a != 0)
            return false;
        key[0] = static_cast<unsigned char>(clear.r);
        key[1] = static_cast<unsigned char>(clear.g);
        key[2] = static_cast<unsigned char>(clear.b);
        break;
    }
    case row_way::fields:
        for (size_t c = 0; c < 4; c++)
            EXPECT_TRUE(make_field(kind.masks[c], f[c]));
        EXPECT_TRUE(make_field_inks(f, fields));
        if (kind.masks[3] == 0 && !opaque)
            return false;
        words.resize(pixels.size());
        for (size_t i = 0; i < pixels.size(); i++)
            seen[i] = as_fields(pixels[i], f, words[i]);
        break;
    }
    bool zero_alpha_is_opaque = kind.way == row_way::fields;
    begin(k, width, static_cast<unsigned>(pixels.size() / width), zero_alpha_is_opaque);
    unsigned bad = 0;
    const size_t bytes_each = kind.masks[0] > 0xFFFF ? 4 : 2;
    // One layout object for every row, as the loops are chosen by it.
    const sample_places &l = kind.l;
    const sample_places deep = {2 * l.step, 2 * l.red, 2 * l.green, 2 * l.blue, 2 * l.alpha, l.has_alpha};
    for (size_t y = 0; y < k.height; y++) {
        const rgba *p = &pixels[y * width];
        bytes row;
        for (size_t x = 0; x < width; x++) {
            size_t v = static_cast<size_t>(std::find(colours.begin(), colours.end(), p[x]) - colours.begin());
            if (kind.way == row_way::values || kind.way == row_way::bits) {
                if (kind.depth == 8)
                    row.push_back(static_cast<unsigned char>(v));
                else if (x * kind.depth % 8 == 0)
                    row.push_back(0);
                if (kind.depth < 8)
                    row.back() = static_cast<unsigned char>(row.back() | v << (8 - kind.depth - x * kind.depth % 8));
            }
            for (size_t i = 0; kind.way == row_way::fields && i < bytes_each; i++)
                row.push_back(static_cast<unsigned char>(words[y * width + x] >> (8 * i)));
        }
        switch (kind.way) {
        case row_way::samples: ink_colours(k, y, stored(p, width, l, false).data(), l); break;
        case row_way::deep: ink_deep_colours(k, y, stored(p, width, deep, true).data(), deep); break;
        case row_way::values:
        case row_way::bits:
            EXPECT_EQ(kind.depth < 8 ? ink_packed(k, y, row.data(), kind.depth, values, bad)
                                     : ink_values(k, y, row.data(), values, bad),
                      0);
            break;
        case row_way::keyed: ink_keyed_colours(k, y, stored(p, width, l, false).data(), key); break;
        case row_way::fields: ink_fields(k, y, row.data(), bytes_each, fields); break;
        }
    }
    sheet_bits = picture_bits(k);
    return true;
}

// A random picture the kind can hold.
picture random_picture(const row_kind &kind, size_t n, std::mt19937 &gen)
{
    bool alpha = kind.way == row_way::values || (kind.way == row_way::fields && kind.masks[3] != 0) || kind.l.has_alpha;
    picture pixels = random_pixels(n, gen, alpha);
    if (kind.way == row_way::values || kind.way == row_way::bits) {
        // A palette, its first colour opaque or transparent by turns.
        picture palette = random_pixels(size_t{1} << kind.depth, gen, true);
        static bool clear = false;
        palette[0] = {10, 10, 10, (clear = !clear) ? 0U : 255U};
        for (size_t i = 0; i < n; i++)
            pixels[i] = i > 0 && gen() % 2 == 0 ? pixels[i - 1] : palette[gen() % palette.size()];
    } else if (kind.way == row_way::keyed) {
        const rgba key = pixels[n / 3];
        for (auto &p : pixels)
            p.a = p.r == key.r && p.g == key.g && p.b == key.b ? 0 : 255;
    } else if (kind.l.step == 1 || kind.l.step == 2) {
        for (auto &p : pixels)
            p.g = p.b = p.r;
    }
    return pixels;
}

// Every row loop gives for random pictures what the plain way gives: at
// the sheets' widths, which have loops of their own, and at others, with
// pixels past the last whole byte, or only those.
TEST(InkRule, EveryRowLoopGivesWhatThePlainWayGives)
{
    std::mt19937 gen(11); // NOLINT(cert-msc32-c,cert-msc51-cpp): the same pictures every run
    for (unsigned width : {64U, 128U, 1U, 13U, 200U})
        for (const row_kind &kind : every_row_kind()) {
            picture pixels = random_picture(kind, size_t{width} * 128, gen), seen;
            bytes sheet;
            ASSERT_TRUE(through(kind, width, pixels, sheet, seen)) << kind.name();
            EXPECT_EQ(sheet, by_reference(width, seen, kind.way == row_way::fields))
                << width << " wide, " << kind.name();
        }
}

// Two-colour pictures whose colours lie on one side of mid-grey, or with a
// few erased pixels: through every row loop that can hold each, the ink
// is the colour drawn with. The drawing is a quarter of the pixels; the
// transparent ones, where there are any, stand on the paper.
TEST(InkRule, TwoColoursOnOneSideAndFewErasedPixels)
{
    const rgba white = {255, 255, 255, 255}, black = {0, 0, 0, 255}, clear = {10, 20, 30, 0};
    const struct {
        const char *name;
        rgba ink, paper;
        size_t clear_in_256; // transparent pixels, in 256ths of all
        int clear_more;      // and a few more or fewer
        bool by_transparency;
    } cases[] = {
        {"yellow ink on white", {255, 255, 0, 255}, white, 0, 0, false},
        {"sky-blue ink on white", {135, 206, 235, 255}, white, 0, 0, false},
        {"black ink on grey 127", black, {127, 127, 127, 255}, 0, 0, false},
        {"black ink on colour-key magenta", black, {255, 0, 255, 255}, 0, 0, false},
        {"dark blue ink on black", {0, 0, 139, 255}, black, 0, 0, false},
        {"black on white, one pixel erased", black, white, 0, 1, false},
        {"black on white, one in sixteen erased", black, white, 16, 0, true},
        {"black on white, one fewer than that erased", black, white, 16, -1, false},
    };
    for (unsigned width : {64U, 128U})
        for (const auto &c : cases) {
            const size_t all = size_t{width} * 128;
            picture pixels(all);
            bytes drawn(all / 8, 0), opaque(all / 8, 0);
            size_t clear_left = c.clear_in_256 * all / 256 + static_cast<size_t>(c.clear_more);
            for (size_t i = 0; i < all; i++) {
                bool ink = (i * 2654435761U >> 7) % 4 == 0;
                pixels[i] = ink ? c.ink : clear_left > 0 && i % 3 == 0 ? (clear_left--, clear) : c.paper;
                drawn[i / 8] = static_cast<unsigned char>(drawn[i / 8] | (ink ? 1 : 0) << (i % 8));
                opaque[i / 8] = static_cast<unsigned char>(opaque[i / 8] | (pixels[i].a == 255 ? 1 : 0) << (i % 8));
            }
            ASSERT_EQ(clear_left, 0U);
            size_t held = 0;
            for (const row_kind &kind : every_row_kind()) {
                picture seen;
                bytes sheet;
                if (!through(kind, width, pixels, sheet, seen))
                    continue;
                held++;
                EXPECT_EQ(sheet, c.by_transparency ? opaque : drawn)
                    << width << " wide, " << c.name << ", " << kind.name();
                EXPECT_EQ(sheet, by_reference(width, seen, kind.way == row_way::fields))
                    << c.name << ", " << kind.name();
            }
            EXPECT_GE(held, 8U) << c.name;
        }
}

// Where no pixel is see-through, the side with fewer pixels is the ink:
// dark ink on light paper and light ink on dark paper alike, the dark side
// on a tie and where all pixels are one side.
TEST(InkRule, TheSideWithFewerPixelsIsTheInk)
{
    for (unsigned width : {64U, 128U}) {
        const size_t all = size_t{width} * 128;
        for (size_t dark : {size_t{0}, size_t{1}, all / 2 - 1, all / 2, all / 2 + 1, all - 1, all}) {
            picture pixels(all, {200, 200, 200, 255});
            std::mt19937 gen(static_cast<unsigned>(dark));
            for (size_t n = 0; n < dark;) {
                rgba &p = pixels[gen() % all];
                n += p.r == 200 ? 1 : 0;
                p = {60, 60, 60, 255};
            }
            bool dark_is_ink = 2 * dark <= all || dark == all;
            static ink k;
            begin(k, width, 128, false);
            for (size_t i = 0; i < all; i++) {
                const unsigned char c[4] = {static_cast<unsigned char>(pixels[i].r),
                                            static_cast<unsigned char>(pixels[i].g),
                                            static_cast<unsigned char>(pixels[i].b), 255};
                put_pixel(k, i % width, i / width, c);
            }
            ink_from from = ink_from::bits;
            bytes bits = picture_bits(k, &from);
            EXPECT_EQ(from, dark_is_ink ? ink_from::dark : ink_from::light) << width << " wide, " << dark << " dark";
            size_t inked = 0;
            for (size_t i = 0; i < all; i++) {
                bool ink = (bits[i / 8] >> (i % 8) & 1) != 0;
                ASSERT_EQ(ink, (pixels[i].r == 60) == dark_is_ink)
                    << width << " wide, " << dark << " dark, pixel " << i;
                inked += ink ? 1 : 0;
            }
            EXPECT_LE(2 * inked, all + (dark == all ? all : 0));
        }
    }
}

} // namespace
