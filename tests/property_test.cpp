// Whole files through the built executable, each font compared with the
// glyph order stated from the font's side (see font_of). The bytes that a
// text-mode stream would translate on Windows (0x0A, 0x0D, 0x1A) must pass
// through unchanged both ways.
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

constexpr size_t full_size = 62 + 1024;

// Converts `file` and checks the font byte by byte.
void expect_converted(const bytes &file)
{
    std::string dir = fresh_dir();
    spill(dir + "/sheet.bmp", file);
    outcome o = run_tool(dir, {"sheet.bmp", "font.raw"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    bytes font = slurp(dir + "/font.raw"), want = font_of(file);
    ASSERT_EQ(font.size(), want.size());
    for (size_t i = 0; i < font.size(); i++)
        ASSERT_EQ(font[i], want[i]) << "font byte " << i << " (column " << i / 128 << ", glyph row " << i / 8 % 16
                                    << ", scanline " << i % 8 << ")";
    remove_dir(dir);
}

bytes repeated(const bytes &pattern, size_t n = full_size)
{
    bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = pattern[i % pattern.size()];
    return b;
}

// 0x0A is a line feed, 0x0D a carriage return and 0x1A ends a text file on
// Windows; 0x50, 0xB0 and 0x58 are their mirrors, so the font is made of
// them. The last sheet holds every byte value, each four times.
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
    }
    bytes every(full_size);
    for (size_t i = 0; i < full_size; i++)
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

// Random bytes of random lengths from empty to past a full sheet, the
// lengths where the file ends in the header or the pixel data first.
TEST(RandomSheets, ConvertByTheGlyphOrder)
{
    unsigned s = seed();
    SCOPED_TRACE("GLYPHRIP_TEST_SEED=" + std::to_string(s));
    std::mt19937 gen(s);
    const size_t edges[] = {0, 1, 61, 62, 63, 69, 70, full_size - 1, full_size, full_size + 1};
    std::uniform_int_distribution<size_t> length(0, full_size + 200);
    for (size_t run = 0; run < runs; run++) {
        size_t n = run < std::size(edges) ? edges[run] : length(gen);
        bytes file(n);
        for (auto &b : file)
            b = static_cast<unsigned char>(gen());
        SCOPED_TRACE("file of " + std::to_string(n) + " bytes");
        expect_converted(file);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

} // namespace
