// Whole files through the built executables: each font glyphrip writes is
// compared with the glyph order stated from the font's side (see font_of),
// and each font through glyphsheet and back must come back. The bytes that
// a text-mode stream would translate on Windows (0x0A, 0x0D, 0x1A) must
// pass through unchanged every way.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// Runs `program in out` in `dir`, which must succeed silently.
void expect_run(const std::string &dir, const char *program, const char *in, const char *out,
                feed_by how = feed_by::none, const bytes &feed = {})
{
    outcome o = run_tool(dir, {program, in, out}, how, feed);
    EXPECT_EQ(o.status, 0) << program;
    EXPECT_EQ(o.err, "") << program;
}

// Checks a font byte by byte.
void expect_font(const bytes &font, const bytes &want)
{
    ASSERT_EQ(font.size(), want.size());
    for (size_t i = 0; i < font.size(); i++)
        ASSERT_EQ(font[i], want[i]) << "font byte " << i << " (column " << i / 128 << ", glyph row " << i / 8 % 16
                                    << ", scanline " << i % 8 << ")";
}

// Converts `file` with glyphrip, from the file or through a pipe.
void expect_converted_to(const bytes &file, const bytes &want, feed_by how)
{
    std::string dir = fresh_dir();
    spill(dir + "/sheet.bmp", file);
    expect_run(dir, "glyphrip", how == feed_by::pipe ? "/dev/stdin" : "sheet.bmp", "font.raw", how, file);
    expect_font(slurp(dir + "/font.raw"), want);
    remove_dir(dir);
}

// `file` is refused with `reason`, and no font is written.
void expect_refused(const bytes &file, const std::string &reason)
{
    std::string dir = fresh_dir();
    spill(dir + "/sheet.bmp", file);
    outcome o = run_tool(dir, {"glyphrip", "sheet.bmp", "font.raw"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, as_written("sheet.bmp: " + reason + "\n"));
    EXPECT_FALSE(exists(dir + "/font.raw"));
    remove_dir(dir);
}

// Converts `file`, which is to be read as the 62-byte layout.
void expect_converted(const bytes &file) { expect_converted_to(file, font_of(file), feed_by::none); }

// Whether more than half of a font, but not all, is ink.
bool mostly_ink(const bytes &font) { return as_read(font, redraw::png) != whole_font(font); }

// Takes `font` through glyphsheet, as each format it writes in turn, and
// back through glyphrip, and through glyphsheet, the sheet saved again as
// another kind of picture, and back. A PGM or PPM, which cannot tell paper
// from ink but by which is more, is refused for a font more than half ink.
void expect_round_trip(const bytes &font)
{
    static const redraw kinds[] = {redraw::png, redraw::png_alpha, redraw::bmp24,     redraw::bmp32,
                                   redraw::ppm, redraw::pbm,       redraw::pam_alpha, redraw::tga};
    static const char *const written[] = {"sheet.bmp", "sheet.png", "sheet.PNG", "sheet.pbm", "sheet.pgm", "sheet.ppm"};
    static size_t turn = 0;
    const std::string sheet = written[turn % (sizeof written / sizeof written[0])];
    redraw as = kinds[turn++ % (sizeof kinds / sizeof kinds[0])];
    std::string dir = fresh_dir();
    spill(dir + "/font.raw", font);
    expect_run(dir, "glyphsheet", "font.raw", "sheet.bmp");
    bytes want = whole_font(font);
    SCOPED_TRACE("written as " + sheet + (mostly_ink(font) ? ", more than half ink" : ""));
    if (mostly_ink(font) && (sheet == "sheet.pgm" || sheet == "sheet.ppm")) {
        outcome o = run_tool(dir, {"glyphsheet", "font.raw", sheet});
        EXPECT_EQ(o.status, 1);
        EXPECT_FALSE(exists(dir + "/" + sheet));
    } else {
        expect_run(dir, "glyphsheet", "font.raw", sheet.c_str());
        expect_run(dir, "glyphrip", sheet.c_str(), "back.raw");
        expect_font(slurp(dir + "/back.raw"), want);
    }
    spill(dir + "/again.pic", redrawn(as, slurp(dir + "/sheet.bmp")));
    expect_run(dir, "glyphrip", "again.pic", "again.raw");
    SCOPED_TRACE("saved again as picture kind " + std::to_string(static_cast<int>(as)));
    expect_font(slurp(dir + "/again.raw"), as_read(font, as));
    remove_dir(dir);
}

bytes repeated(const bytes &pattern, size_t n = sheet_size)
{
    bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = pattern[i % pattern.size()];
    return b;
}

// 0x0A is a line feed, 0x0D a carriage return and 0x1A ends a text file on
// Windows; 0x50, 0xB0 and 0x58 are their mirrors, so that a font made of
// them is a sheet made of the others. The last sheet holds every byte
// value, each four times.
TEST(Bytes, SurviveBothWays)
{
    // clang-format off
    const bytes patterns[] = {
        {0x0A}, {0x0D}, {0x1A}, {0x0D, 0x0A}, {0x0A, 0x0D}, {0x1A, 0x0A, 0x0D}, // to be read unchanged
        {0x50}, {0xB0}, {0x58}, {0xB0, 0x50}, {0x58, 0x50, 0xB0},               // to be written unchanged
    };
    // clang-format on
    for (const auto &p : patterns) {
        SCOPED_TRACE("pattern starting " + std::to_string(p[0]));
        expect_converted(repeated(p));
        expect_round_trip(repeated(p, font_size));
    }
    bytes every(sheet_size);
    for (size_t i = 0; i < sheet_size; i++)
        every[i] = static_cast<unsigned char>(i < 62 ? 0x1A : (i - 62) % 256);
    expect_converted(every);
}

unsigned seed()
{
    const char *fixed = std::getenv("GLYPHRIP_TEST_SEED");
    return fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
}

#ifdef _WIN32
constexpr size_t runs = 100; // each run starts a Windows process under Wine
#else
constexpr size_t runs = 300;
#endif

// Hands `check` files of random bytes, the `edges` lengths first, then
// random lengths up to `longest`, until one fails. A file in four has a
// quarter of its bits set, one in four three quarters, and the rest half.
void random_files(size_t count, const std::vector<size_t> &edges, size_t longest, void (*check)(const bytes &))
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    std::uniform_int_distribution<size_t> length(0, longest);
    for (size_t run = 0; run < count; run++) {
        size_t n = run < edges.size() ? edges[run] : length(gen);
        bytes file(n);
        for (auto &b : file) {
            unsigned v = gen(), w = gen();
            b = static_cast<unsigned char>(run % 4 == 1 ? v & w : run % 4 == 2 ? v | w : v);
        }
        SCOPED_TRACE("file of " + std::to_string(n) + " bytes");
        check(file);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

// Random bytes, but for a first byte that would let them begin as a
// netpbm header (`P1 `) or a JPEG XL picture (0xFF 0x0A) does, which two or
// three bytes tell and random files do now and then.
void expect_unnamed_converted(const bytes &random)
{
    bytes file = random;
    if (!file.empty() && (file[0] == 'P' || file[0] == 0xFF))
        file[0] = 0;
    expect_converted(file);
}

// From empty to past a full sheet, the lengths where the file ends in the
// header or the pixel data first.
TEST(RandomSheets, ConvertByTheGlyphOrder)
{
    random_files(runs, {0, 1, 61, 62, 63, 69, 70, sheet_size - 1, sheet_size, sheet_size + 1}, sheet_size + 200,
                 expect_unnamed_converted);
}

// The same picture in the 62-byte layout: bottom row first, and the bytes
// past the first `kept` of `pixels`, as they stand in their file, 0xFF.
bytes bottom_up(const bytes &pixels, size_t kept, bool top_down)
{
    bytes b(pixel_start, 0);
    for (size_t row = 0; row < 128; row++) {
        size_t from = 8 * (top_down ? 127 - row : row);
        for (size_t i = from; i < from + 8; i++)
            b.push_back(i < kept ? pixels[i] : 0xFF);
    }
    return b;
}

#ifdef _WIN32
constexpr feed_by pipe_where_there_is_one = feed_by::none;
#else
constexpr feed_by pipe_where_there_is_one = feed_by::pipe;
#endif

// Random pixels behind every information header that BMP writers use (and
// OS/2 2.x's of 16 and 44 bytes, which may be cut anywhere), in both row
// orders (OS/2's core header has only bottom row first), give the
// font they stand for: whole from a file, cut short in the pixels through a
// pipe, and cut short around the headers. Cut inside the information
// header, the file is refused; cut before its size, it is no recognisable
// BMP and is read from byte 62.
TEST(EveryLayout, GivesTheFontItsPixelsStandFor)
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    for (unsigned size : {12, 16, 40, 44, 52, 56, 64, 108, 124})
        for (bool top_down : {false, true}) {
            if (size == 12 && top_down)
                continue;
            bytes pixels(font_size);
            for (auto &b : pixels)
                b = static_cast<unsigned char>(gen());
            bytes file = bmp_file({size, top_down}, pixels);
            size_t offset = file.size() - font_size;
            const struct {
                size_t length;
                feed_by how;
            } cuts[] = {{file.size(), feed_by::none},
                        {std::uniform_int_distribution<size_t>(offset, file.size())(gen), pipe_where_there_is_one},
                        {std::uniform_int_distribution<size_t>(0, offset + 8)(gen), feed_by::none}};
            for (const auto &run : cuts) {
                SCOPED_TRACE(std::to_string(size) + "-byte header, " + (top_down ? "top" : "bottom") + " row first, " +
                             std::to_string(run.length) + " bytes");
                bytes cut(file.begin(), file.begin() + static_cast<long>(run.length));
                size_t kept = run.length > offset ? run.length - offset : 0;
                if (run.length >= 18 && run.length < 14 + size)
                    expect_refused(cut, "a damaged BMP: it ends inside its headers");
                else
                    expect_converted_to(cut, font_of(run.length >= 18 ? bottom_up(pixels, kept, top_down) : cut),
                                        run.how);
            }
        }
}

// From empty to a few thousand bytes, the lengths where a glyph, a column
// or the font ends first, of 128 glyphs and of 256. Each sheet is also
// saved again in turn as PNG, PNG with transparent paper, 24- and 32-bit
// BMP, PPM, PBM, PAM with transparent paper and run-length encoded TGA.
TEST(RandomFonts, ComeBackThroughASheet)
{
    random_files(runs / 2,
                 {0, 1, 8, 127, 128, font_size - 1, font_size, font_size + 1, wide_font_size - 1, wide_font_size,
                  wide_font_size + 1},
                 3 * font_size, expect_round_trip);
}

// The rule, stated here apart from the tool's loops: a sample of `max` as
// 8 bits rounded half up; ink by alpha where at least one pixel in sixteen
// is less than half opaque; otherwise, of the opaque pixels, the side with
// fewer is the ink, dark below grey level 128 by (299 R + 587 G + 114 B)
// div 1000, or, where all lie on one side but not all on one level, below
// the level half-way between the darkest and the lightest; the dark side
// on a tie.
struct colour {
    unsigned r, g, b, a; // as stored
};

unsigned eight_bits(unsigned v, unsigned max) { return (v * 510 + max) / (2 * max); }

bytes font_by_the_rule(const std::vector<colour> &pixels, unsigned max, bool zero_alpha_is_opaque)
{
    size_t clear = 0;
    bool alpha_anywhere = false;
    for (const auto &p : pixels) {
        clear += eight_bits(p.a, max) < 128 ? 1 : 0;
        alpha_anywhere = alpha_anywhere || eight_bits(p.a, max) != 0;
    }
    bool alpha_is_none = zero_alpha_is_opaque && !alpha_anywhere;
    bool by_alpha = !alpha_is_none && 16 * clear >= pixels.size();
    std::vector<int> grey(pixels.size(), -1); // -1: paper whatever its colour
    int least = 255, most = 0;
    for (size_t i = 0; i < pixels.size(); i++) {
        const colour &p = pixels[i];
        if (!alpha_is_none && eight_bits(p.a, max) < 128)
            continue;
        grey[i] = static_cast<int>(
            (299 * eight_bits(p.r, max) + 587 * eight_bits(p.g, max) + 114 * eight_bits(p.b, max)) / 1000);
        least = std::min(least, grey[i]);
        most = std::max(most, grey[i]);
    }
    int split = 128;
    if ((most < 128 || least >= 128) && least < most)
        split = (least + most + 1) / 2;
    size_t dark = 0, counted = 0;
    for (int g : grey) {
        counted += g >= 0 ? 1 : 0;
        dark += g >= 0 && g < split ? 1 : 0;
    }
    bool dark_ink = 2 * dark <= counted || dark == counted;
    bytes font(font_size, 0);
    for (size_t i = 0; i < pixels.size(); i++) {
        bool ink = by_alpha ? grey[i] >= 0 : grey[i] >= 0 && (grey[i] < split) == dark_ink;
        size_t x = i % 64, y = i / 64;
        font[128 * (x / 8) + y] = static_cast<unsigned char>(font[128 * (x / 8) + y] | (ink ? 1 : 0) << (x % 8));
    }
    return font;
}

// A drawing of two colours on one side of mid-grey, as yellow ink on
// white or black on grey paper is, a quarter of it ink, with a few
// pixels erased where `alpha`: about one in sixteen, or fewer.
std::vector<colour> two_colours(std::mt19937 &gen, unsigned max, bool alpha, bool grey)
{
    std::uniform_int_distribution<unsigned> any(0, max);
    bool light = gen() % 2 == 0;
    auto side = [&] {
        for (;;) {
            unsigned r = any(gen);
            colour c = {r, grey ? r : any(gen), grey ? r : any(gen), max};
            unsigned g = (299 * eight_bits(c.r, max) + 587 * eight_bits(c.g, max) + 114 * eight_bits(c.b, max)) / 1000;
            if ((g >= 128) == light)
                return c;
        }
    };
    const colour ink = side(), paper = side();
    size_t clear = alpha ? std::uniform_int_distribution<size_t>(480, 540)(gen) : 0; // one in sixteen is 512
    std::vector<colour> pixels(size_t{64} * 128);
    for (auto &p : pixels)
        p = gen() % 4 == 0 ? ink : paper;
    for (size_t i = 0; i < clear; i++)
        pixels[gen() % pixels.size()] = {max / 3, max / 3, max / 3, 0};
    return pixels;
}

// Colours many of which stand right where the rule turns: dark or not by
// one step, alpha 0, 127, 128 or 255, and runs of one colour.
std::vector<colour> random_colours(std::mt19937 &gen, unsigned max, bool alpha)
{
    std::uniform_int_distribution<unsigned> any(0, max), near(0, 4), step(0, 2);
    std::vector<colour> pixels(size_t{64} * 128);
    for (size_t i = 0; i < pixels.size(); i++) {
        colour &p = pixels[i];
        if (i > 0 && near(gen) == 0) { // a run
            p = pixels[i - 1];
            continue;
        }
        unsigned r = any(gen) * 255 / max, g = any(gen) * 255 / max;
        int b =
            (128000 - 299 * static_cast<int>(r) - 587 * static_cast<int>(g)) / 114 + static_cast<int>(step(gen)) - 1;
        b = near(gen) == 0 ? static_cast<int>(any(gen) * 255 / max) : b < 0 ? 0 : b > 255 ? 255 : b;
        // As `max` samples near those 8 bits, off by a little either way.
        auto deep = [&](unsigned v8) {
            long v = static_cast<long>(v8 * max / 255) + static_cast<long>(step(gen) * max / 1024) -
                     static_cast<long>(max / 1024);
            return static_cast<unsigned>(v < 0 ? 0 : v > static_cast<long>(max) ? max : v);
        };
        static const unsigned alphas[] = {0, 127, 128, 255, 255};
        p = {deep(r), deep(g), deep(static_cast<unsigned>(b)), alpha ? deep(alphas[near(gen)]) : max};
    }
    return pixels;
}

void put_sample(bytes &b, unsigned v, unsigned max)
{
    if (max > 255)
        b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}

// A TGA's rows as run-length packets, each within its row: a run of one
// unit repeated, or units as they stand.
bytes run_length(const bytes &rows, size_t unit, size_t width)
{
    bytes packets;
    for (size_t row = 0; row < rows.size(); row += unit * width)
        for (size_t x = 0; x < width;) {
            auto at = [&](size_t i) { return rows.begin() + static_cast<std::ptrdiff_t>(row + unit * i); };
            size_t n = 1;
            while (x + n < width && n < 128 && std::equal(at(x), at(x + 1), at(x + n)))
                n++;
            if (n > 1) {
                packets.push_back(static_cast<unsigned char>(0x80 | (n - 1)));
                packets.insert(packets.end(), at(x), at(x + 1));
            } else {
                while (x + n < width && n < 128 && !std::equal(at(x + n - 1), at(x + n), at(x + n)))
                    n++;
                packets.push_back(static_cast<unsigned char>(n - 1));
                packets.insert(packets.end(), at(x), at(x + n));
            }
            x += n;
        }
    return packets;
}

// The picture as `kind` stores it, a PNG's rows filtered at random by
// `seed`; `zero_alpha_is_opaque` says whether the format reads an alpha of
// 0 everywhere as none. A PBM's pixels are black below grey 128.
bytes stored_as(const std::string &kind, const std::vector<colour> &pixels, unsigned max, bool &zero_alpha_is_opaque,
                unsigned seed, size_t width = 64, size_t height = 128)
{
    bool alpha = kind.find("alpha") != std::string::npos, grey = kind.find("grey") != std::string::npos;
    zero_alpha_is_opaque = kind.rfind("bmp", 0) == 0 || kind.rfind("tga", 0) == 0;
    const std::string size = std::to_string(width) + " " + std::to_string(height) + "\n";
    if (kind == "pbm") {
        std::string header = "P4\n" + size;
        bytes b(header.begin(), header.end());
        for (size_t y = 0; y < height; y++)
            for (size_t x = 0; x < width; x += 8) {
                unsigned byte = 0;
                for (size_t i = 0; i < 8; i++)
                    byte |= (x + i < width && pixels[y * width + x + i].r < (max + 1) / 2 ? 0x80U : 0) >> i;
                b.push_back(static_cast<unsigned char>(byte));
            }
        return b;
    }
    bytes rows;
    for (size_t y = 0; y < height; y++) {
        size_t from = width * (kind.rfind("bmp", 0) == 0 ? height - 1 - y : y); // BMP stores the bottom row first
        for (size_t x = 0; x < width; x++) {
            const colour &p = pixels[from + x];
            bool blue_first = kind.rfind("bmp", 0) == 0 || kind.rfind("tga", 0) == 0;
            for (unsigned v : grey         ? std::vector<unsigned>{p.r}
                              : blue_first ? std::vector<unsigned>{p.b, p.g, p.r}
                                           : std::vector<unsigned>{p.r, p.g, p.b})
                put_sample(rows, v, max);
            if (alpha)
                put_sample(rows, p.a, max);
        }
        // A BMP's rows are padded to whole words.
        while (kind.rfind("bmp", 0) == 0 && rows.size() % 4 != 0)
            rows.push_back(0);
    }
    std::string header;
    int depth = max > 255 ? 16 : 8, type = (grey ? 0 : 2) + (alpha ? 4 : 0);
    if (kind.rfind("png", 0) == 0) {
        if (max < 255) { // grey of 1, 2 or 4 bits, packed
            depth = max == 1 ? 1 : max == 3 ? 2 : 4;
            bytes packed(rows.size() * static_cast<size_t>(depth) / 8);
            for (size_t i = 0; i < rows.size(); i++)
                packed[i * depth / 8] |= static_cast<unsigned char>(rows[i] << (8 - depth - i * depth % 8));
            rows = packed;
        }
        bool interlaced = kind.find("interlaced") != std::string::npos;
        int bits = depth * ((grey ? 1 : 3) + (alpha ? 1 : 0));
        bytes key; // a tRNS chunk's colour: that of the transparent pixels
        for (const auto &p : pixels)
            if (kind.find("keyed") != std::string::npos && p.a == 0 && key.empty())
                for (unsigned v : grey ? std::vector<unsigned>{p.r} : std::vector<unsigned>{p.r, p.g, p.b})
                    key.insert(key.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
        return png_file({png_header(static_cast<int>(width), static_cast<int>(height), depth, type, interlaced),
                         png_chunk(key.empty() ? "teXt" : "tRNS", key),
                         png_data(png_rows(rows, bits, interlaced, seed, width, height))});
    }
    if (kind.rfind("bmp", 0) == 0)
        return bmp_file({40, false, static_cast<int>(width), static_cast<int>(height), alpha ? 32 : 24}, rows);
    if (kind.rfind("tga", 0) == 0) {
        bool packed = kind.find("rle") != std::string::npos;
        const unsigned char fields[18] = {0,
                                          0,
                                          static_cast<unsigned char>(packed ? 10 : 2),
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          static_cast<unsigned char>(width),
                                          static_cast<unsigned char>(width >> 8),
                                          static_cast<unsigned char>(height),
                                          static_cast<unsigned char>(height >> 8),
                                          static_cast<unsigned char>(alpha ? 32 : 24),
                                          static_cast<unsigned char>(alpha ? 0x28 : 0x20)};
        header.assign(fields, fields + 18);
        if (packed)
            rows = run_length(rows, alpha ? 4 : 3, width);
    } else if (kind == "pam alpha") {
        header = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) + "\nDEPTH 4\nMAXVAL " +
                 std::to_string(max) + "\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    } else {
        header = std::string(grey ? "P5" : "P6") + "\n" + size + std::to_string(max) + "\n";
    }
    bytes b(header.begin(), header.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// A kind of file as stored_as names it, and its samples' maximum.
struct stored_kind {
    const char *kind;
    unsigned max;
};

// Random colours, many where the rule turns, in each layout of samples the
// readers ink in loops of their own: glyphrip must give the rule's font.
TEST(RandomColours, InkByTheRule)
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    static const stored_kind kinds[] = {{"png", 255},
                                        {"png alpha", 255},
                                        {"png grey alpha", 255},
                                        {"png", 65535},
                                        {"png alpha", 65535},
                                        {"png grey", 65535},
                                        {"png interlaced", 255},
                                        {"png grey alpha interlaced", 65535},
                                        {"png grey", 15},
                                        {"png grey interlaced", 3},
                                        {"png keyed", 255},
                                        {"png grey keyed", 65535},
                                        {"ppm", 255},
                                        {"ppm", 65535},
                                        {"pgm grey", 100},
                                        {"ppm", 1000},
                                        {"pam alpha", 1000},
                                        {"pam alpha", 255},
                                        {"bmp", 255},
                                        {"bmp alpha", 255},
                                        {"tga", 255},
                                        {"tga alpha", 255}};
    for (const auto &k : kinds)
        for (bool drawn : {false, true}) {
            const std::string kind = k.kind;
            bool alpha = kind.find("alpha") != std::string::npos, grey = kind.find("grey") != std::string::npos,
                 keyed = kind.find("keyed") != std::string::npos;
            SCOPED_TRACE(kind + " of " + std::to_string(k.max) + (drawn ? ", two colours on one side" : ""));
            std::vector<colour> pixels =
                drawn ? two_colours(gen, k.max, alpha || keyed, grey) : random_colours(gen, k.max, alpha);
            if (grey)
                for (auto &p : pixels)
                    p.g = p.b = p.r;
            // For "keyed", the colour the transparent pixels take: where
            // drawn, the erased pixels'; else that of a third of the pixels.
            const colour key = drawn ? colour{k.max / 3, k.max / 3, k.max / 3, 0} : pixels[100];
            for (auto &p : pixels)
                if (keyed) {
                    p = gen() % 3 == 0 && !drawn ? key : p;
                    p.a = p.r == key.r && p.g == key.g && p.b == key.b ? 0 : k.max;
                }
            bool zero_alpha_is_opaque = false;
            bytes file = stored_as(k.kind, pixels, k.max, zero_alpha_is_opaque, gen());
            std::string dir = fresh_dir();
            spill(dir + "/picture", file);
            expect_run(dir, "glyphrip", "picture", "font.raw");
            expect_font(slurp(dir + "/font.raw"), font_by_the_rule(pixels, k.max, zero_alpha_is_opaque));
            remove_dir(dir);
        }
}

// A layout told to glyphcut: the cells, their enlargement, the space left
// of and above the first and between them, the grid, whether the grid, the
// order and the count are told, and the picture's size.
struct told_layout {
    unsigned w, h, scale, offset_x, offset_y, gap_x, gap_y, columns, rows, count, first;
    bool by_columns, tell_grid, tell_order, tell_count;
    size_t width, height;
};

told_layout random_layout(std::mt19937 &gen)
{
    auto any = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(gen); };
    told_layout t = {};
    static const unsigned scales[] = {1, 1, 1, 2, 3, 4, 16};
    t.scale = scales[any(0, 6)];
    unsigned most = t.scale == 16 ? 4 : 32;
    t.w = any(1, most);
    t.h = any(1, most);
    t.offset_x = any(0, 1) == 0 ? 0 : any(0, 9);
    t.offset_y = any(0, 1) == 0 ? 0 : any(0, 9);
    t.gap_x = any(0, 1) == 0 ? 0 : any(0, 5);
    t.gap_y = any(0, 1) == 0 ? 0 : any(0, 5);
    t.columns = any(1, t.scale > 2 ? 3 : 7);
    t.rows = any(1, t.scale > 2 ? 3 : 5);
    t.by_columns = any(0, 1) == 0;
    t.tell_order = t.by_columns || any(0, 1) == 0;
    t.tell_grid = any(0, 1) == 0;
    t.tell_count = any(0, 2) == 0;
    t.count = t.tell_count ? any(1, t.columns * t.rows) : t.columns * t.rows;
    t.first = any(0, 1) == 0 ? 0 : any(0, 400);
    // Past the last cell, less than another cell's room where the grid is
    // not told, so that as many cells fit as were drawn.
    unsigned across = t.w * t.scale, down = t.h * t.scale;
    t.width = t.offset_x + t.columns * across + (t.columns - 1) * t.gap_x +
              (t.tell_grid ? any(0, 12) : any(0, across + t.gap_x - 1));
    t.height =
        t.offset_y + t.rows * down + (t.rows - 1) * t.gap_y + (t.tell_grid ? any(0, 12) : any(0, down + t.gap_y - 1));
    return t;
}

// glyphcut's options for the layout, each given now as two arguments and
// now as one.
std::vector<std::string> options_of(const told_layout &t, std::mt19937 &gen)
{
    std::vector<std::string> o;
    auto give = [&](const std::string &option, const std::string &value) {
        if (gen() % 2 == 0) {
            o.push_back(option);
            o.push_back(value);
        } else {
            o.push_back(option + "=" + value);
        }
    };
    auto pair = [](unsigned a, const char *between, unsigned b) {
        return std::to_string(a) + between + std::to_string(b);
    };
    give("--cell", pair(t.w, "x", t.h));
    if (t.scale > 1 || gen() % 4 == 0)
        give("--scale", std::to_string(t.scale));
    if (t.offset_x > 0 || t.offset_y > 0)
        give("--offset", pair(t.offset_x, ",", t.offset_y));
    if (t.gap_x > 0 || t.gap_y > 0)
        give("--gap", pair(t.gap_x, ",", t.gap_y));
    if (t.tell_grid)
        give("--grid", pair(t.columns, "x", t.rows));
    if (t.tell_order)
        give("--order", t.by_columns ? "columns" : "rows");
    if (t.first > 0)
        give("--first", std::to_string(t.first));
    if (t.tell_count)
        give("--count", std::to_string(t.count));
    return o;
}

// How the ink is told, and the colours that draw it: `ink` and `paper`
// give a pixel of each role, noise the pixels no glyph is read from.
enum class ink_told { rule, dark, light, opaque, colour, paper };

std::string hex(const colour &c, unsigned max)
{
    char text[8];
    (void)snprintf(text, sizeof text, "#%02X%02X%02X", eight_bits(c.r, max), eight_bits(c.g, max),
                   eight_bits(c.b, max));
    return text;
}

unsigned grey_level(const colour &c, unsigned max)
{
    return (299 * eight_bits(c.r, max) + 587 * eight_bits(c.g, max) + 114 * eight_bits(c.b, max)) / 1000;
}

// Random fonts drawn in random layouts in every format, read back through
// glyphcut told the layout and the ink, byte for byte, in both bit orders.
TEST(RandomLayouts, CutAsTold)
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    static const stored_kind kinds[] = {{"png", 255},
                                        {"png alpha", 255},
                                        {"png grey", 255},
                                        {"png grey alpha", 65535},
                                        {"png interlaced", 255},
                                        {"ppm", 255},
                                        {"ppm", 65535},
                                        {"pgm grey", 255},
                                        {"pam alpha", 255},
                                        {"pbm", 1},
                                        {"bmp", 255},
                                        {"bmp alpha", 255},
                                        {"tga", 255},
                                        {"tga alpha", 255},
                                        {"tga rle", 255},
                                        {"tga alpha rle", 255}};
    for (const auto &k : kinds)
        for (int round = 0; round < 3; round++) {
            const std::string kind = k.kind;
            const unsigned max = k.max == 1 ? 255 : k.max; // a PBM's pixels as 8-bit colours
            const bool alpha = kind.find("alpha") != std::string::npos, grey = kind.find("grey") != std::string::npos,
                       pbm = kind == "pbm";
            told_layout t = random_layout(gen);
            std::vector<std::string> options = options_of(t, gen);
            SCOPED_TRACE(kind + ", " + std::to_string(t.width) + " x " + std::to_string(t.height) + ":" + [&] {
                std::string all;
                for (const auto &o : options)
                    all += " " + o;
                return all;
            }());
            // The colours: 8-bit values as `max` samples.
            auto sample = [&](unsigned v) { return max == 255 ? v : v * 257; };
            auto random_colour = [&](bool opaque) {
                unsigned r = gen() % 256, g = grey || pbm ? r : gen() % 256, b = grey || pbm ? r : gen() % 256;
                if (pbm)
                    r = g = b = r < 128 ? 0 : 255;
                return colour{sample(r), sample(g), sample(b), opaque || !alpha ? max : sample(gen() % 256)};
            };
            auto of_side = [&](bool dark, bool opaque) {
                for (;;) {
                    colour c = random_colour(opaque);
                    if ((grey_level(c, max) < 128) == dark)
                        return c;
                }
            };
            std::vector<ink_told> ways = {ink_told::rule, ink_told::dark, ink_told::light, ink_told::colour,
                                          ink_told::paper};
            if (alpha)
                ways.push_back(ink_told::opaque);
            const ink_told way = ways[gen() % ways.size()];
            // Under the rule, black ink on white paper, or ink on paper
            // erased to nothing where there is alpha.
            const bool clear_paper = alpha && (way == ink_told::opaque || (way == ink_told::rule && gen() % 2 == 0));
            colour ink = of_side(way != ink_told::light, true), paper = of_side(way == ink_told::light, true);
            if (way == ink_told::rule && !clear_paper) {
                ink = {0, 0, 0, max};
                paper = {max, max, max, max};
            }
            if (clear_paper)
                paper.a = sample(gen() % 128);
            if (way == ink_told::colour || way == ink_told::paper) {
                do
                    paper = random_colour(true);
                while (hex(paper, max) == hex(ink, max));
            }
            // Each glyph's pixels, about a third of them ink, and the
            // picture: noise, where each cell read puts its pixels at the
            // centre of their blocks.
            std::vector<colour> pixels(t.width * t.height);
            for (auto &p : pixels)
                p = random_colour(false);
            std::vector<bool> drawn(size_t{t.count} * t.w * t.h);
            size_t dark = 0;
            for (unsigned n = 0; n < t.count; n++) {
                unsigned column = t.by_columns ? n / t.rows : n % t.columns,
                         row = t.by_columns ? n % t.rows : n / t.columns;
                size_t left = t.offset_x + size_t{column} * (t.w * t.scale + t.gap_x) + t.scale / 2,
                       top = t.offset_y + size_t{row} * (t.h * t.scale + t.gap_y) + t.scale / 2;
                for (unsigned y = 0; y < t.h; y++)
                    for (unsigned x = 0; x < t.w; x++) {
                        // A colour told must be somewhere in the cells.
                        size_t i = (size_t{n} * t.h + y) * t.w + x;
                        bool is_ink = (way == ink_told::colour && i == 0) ||
                                      ((way != ink_told::paper || i + 1 < drawn.size()) && gen() % 3 == 0);
                        drawn[i] = is_ink;
                        dark += is_ink ? 1 : 0;
                        pixels[(top + size_t{y} * t.scale) * t.width + left + size_t{x} * t.scale] =
                            is_ink ? ink : paper;
                    }
            }
            // The rule takes the side with fewer pixels, the dark on a tie
            // and where all are dark, but for a PBM, whose 1 bits, black, are its ink; transparent
            // paper decides where one pixel in sixteen is, as a third are.
            bool turned =
                way == ink_told::rule && !clear_paper && !pbm && 2 * dark > drawn.size() && dark < drawn.size();
            switch (way) {
            case ink_told::dark: options.insert(options.end(), {"--ink", "dark"}); break;
            case ink_told::light: options.insert(options.end(), {"--ink", "light"}); break;
            case ink_told::opaque: options.insert(options.end(), {"--ink", "opaque"}); break;
            case ink_told::colour: options.insert(options.end(), {"--ink", hex(ink, max)}); break;
            case ink_told::paper: options.insert(options.end(), {"--paper", hex(paper, max)}); break;
            case ink_told::rule: break;
            }
            bool zero_alpha_is_opaque = false;
            const bytes file =
                stored_as(kind, pixels, k.max == 1 ? 255 : max, zero_alpha_is_opaque, gen(), t.width, t.height);
            std::string dir = fresh_dir();
            spill(dir + "/picture", file);
            for (bool msb : {false, true}) {
                std::vector<std::string> command = {"glyphcut"};
                command.insert(command.end(), options.begin(), options.end());
                command.insert(command.end(), {"--bits", msb ? "msb" : "lsb", "picture", "font.raw"});
                outcome o = run_tool(dir, command);
                ASSERT_EQ(o.status, 0) << o.err;
                size_t row_bytes = (t.w + 7) / 8;
                bytes want(drawn.size() / t.w * row_bytes, 0);
                for (size_t i = 0; i < drawn.size(); i++) {
                    size_t x = i % t.w, at = i / t.w * row_bytes + x / 8;
                    if (drawn[i] != turned)
                        want[at] = static_cast<unsigned char>(want[at] | (msb ? 0x80U >> (x % 8) : 1U << (x % 8)));
                }
                expect_font(slurp(dir + "/font.raw"), want);
            }
            remove_dir(dir);
        }
}

} // namespace
