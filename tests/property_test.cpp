// Whole files through the built executables: each font glyphrip writes is
// compared with the glyph order stated from the font's side (see font_of),
// and each font through glyphsheet and back must come back. The bytes that
// a text-mode stream would translate on Windows (0x0A, 0x0D, 0x1A) must
// pass through unchanged every way.
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

// Runs `program in out` in `dir`, which must succeed silently.
void expect_run(const std::string &dir, const char *program, const char *in, const char *out)
{
    outcome o = run_tool(dir, {program, in, out});
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

// Converts `file` with glyphrip.
void expect_converted(const bytes &file)
{
    std::string dir = fresh_dir();
    spill(dir + "/sheet.bmp", file);
    expect_run(dir, "glyphrip", "sheet.bmp", "font.raw");
    expect_font(slurp(dir + "/font.raw"), font_of(file));
    remove_dir(dir);
}

// Takes `font` through glyphsheet and back through glyphrip.
void expect_round_trip(const bytes &font)
{
    std::string dir = fresh_dir();
    spill(dir + "/font.raw", font);
    expect_run(dir, "glyphsheet", "font.raw", "sheet.bmp");
    expect_run(dir, "glyphrip", "sheet.bmp", "back.raw");
    bytes want = font;
    want.resize(font_size, 0xFF);
    expect_font(slurp(dir + "/back.raw"), want);
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
// random lengths up to `longest`, until one fails.
void random_files(size_t count, const std::vector<size_t> &edges, size_t longest, void (*check)(const bytes &))
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    std::uniform_int_distribution<size_t> length(0, longest);
    for (size_t run = 0; run < count; run++) {
        size_t n = run < edges.size() ? edges[run] : length(gen);
        bytes file(n);
        for (auto &b : file)
            b = static_cast<unsigned char>(gen());
        SCOPED_TRACE("file of " + std::to_string(n) + " bytes");
        check(file);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

// From empty to past a full sheet, the lengths where the file ends in the
// header or the pixel data first.
TEST(RandomSheets, ConvertByTheGlyphOrder)
{
    random_files(runs, {0, 1, 61, 62, 63, 69, 70, sheet_size - 1, sheet_size, sheet_size + 1}, sheet_size + 200,
                 expect_converted);
}

// From empty to a few thousand bytes, the lengths where a glyph, a column
// or the font ends first.
TEST(RandomFonts, ComeBackThroughASheet)
{
    random_files(runs / 2, {0, 1, 8, 127, 128, font_size - 1, font_size, font_size + 1}, 3 * font_size,
                 expect_round_trip);
}

} // namespace
