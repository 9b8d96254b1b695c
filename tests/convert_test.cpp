// The readers and writers of both formats on real streams: temporary files,
// a pipe, a directory and a full device.
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

namespace {

using reader = decltype(&read_sheet);
using writer = decltype(&write_sheet);

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

bytes read_all(FILE *f)
{
    bytes b;
    rewind(f);
    for (int c; (c = fgetc(f)) != EOF;)
        b.push_back(static_cast<unsigned char>(c));
    return b;
}

struct sheet_result {
    int status;
    bytes sheet;
};

sheet_result read_from(FILE *f, reader read = read_sheet)
{
    glyph_sheet sheet;
    char why[REASON_SIZE] = "";
    int status = read(f, sheet, why);
    return {status, bytes(sheet, sheet + SHEET_BYTES)};
}

sheet_result read_bytes(const bytes &content)
{
    FILE *f = stream_of(content);
    sheet_result r = read_from(f);
    fclose(f);
    return r;
}

bytes font_written(const bytes &sheet)
{
    FILE *f = tmpfile();
    EXPECT_EQ(write_font(sheet.data(), f), 0);
    bytes b = read_all(f);
    fclose(f);
    return b;
}

// Sheet entry (r, b) as the file lays it out: the mirror of the byte at
// 62 + 8 * (127 - r) + b, or 0xFF where the file has ended.
int expected_entry(const bytes &file, int r, int b)
{
    auto at = pixel_start + 8 * static_cast<size_t>(127 - r) + static_cast<size_t>(b);
    return at < file.size() ? mirror(file[at]) : 0xFF;
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

TEST(ReadSheet, TakesRowsBottomUpFromByte62WhateverTheHeaderSays)
{
    bytes file = random_bytes(sheet_size, 1);
    FILE *f = stream_of(file);
    sheet_result r = read_from(f);
    EXPECT_EQ(ftell(f), static_cast<long>(sheet_size));
    fclose(f);

    ASSERT_EQ(r.status, 0);
    for (int row = 0; row < 128; row++)
        for (int b = 0; b < 8; b++)
            ASSERT_EQ(r.sheet[static_cast<size_t>(row * 8 + b)], expected_entry(file, row, b))
                << "row " << row << " column " << b;

    // The first bytes of the bottom and top picture rows, by hand.
    bytes marks(sheet_size, 0);
    marks[62] = 0x80;
    marks[69] = 0x01;
    marks[62 + 8 * 127] = 0x12;
    marks[62 + 8 * 127 + 7] = 0xF0;
    bytes s = read_bytes(marks).sheet;
    EXPECT_EQ(s[127 * 8 + 0], 0x01);
    EXPECT_EQ(s[127 * 8 + 7], 0x80);
    EXPECT_EQ(s[0], 0x48);
    EXPECT_EQ(s[7], 0x0F);
}

TEST(ReadSheet, FillsWhatTheFileLacksWithFF)
{
    bytes file = random_bytes(sheet_size, 2);

    bytes six_short(file.begin(), file.end() - 6);
    sheet_result r = read_bytes(six_short);
    EXPECT_EQ(r.status, 0);
    for (int b = 0; b < 8; b++)
        EXPECT_EQ(r.sheet[static_cast<size_t>(b)], b < 2 ? mirror(file[62 + 8 * 127 + b]) : 0xFF) << b;
    for (int row = 1; row < 128; row++)
        for (int b = 0; b < 8; b++)
            ASSERT_EQ(r.sheet[static_cast<size_t>(row * 8 + b)], expected_entry(file, row, b));

    for (size_t size : {0, 1, 61, 62}) {
        r = read_bytes(bytes(file.begin(), file.begin() + static_cast<long>(size)));
        EXPECT_EQ(r.status, 0) << size;
        EXPECT_EQ(r.sheet, bytes(SHEET_BYTES, 0xFF)) << size;
    }
}

TEST(ReadSheet, IgnoresBytesAfterTheSheet)
{
    bytes file = random_bytes(sheet_size + 500, 3);
    EXPECT_EQ(read_bytes(file).sheet, read_bytes(bytes(file.begin(), file.begin() + sheet_size)).sheet);
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
        sheet_result from_pipe = read_from(f);
        fclose(f);

        EXPECT_EQ(from_pipe.status, 0) << size;
        EXPECT_EQ(from_pipe.sheet, read_bytes(file).sheet) << size;
    }
#endif
}

TEST(Readers, ReportAReadErrorInsteadOfFilling)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not open a directory as a stream";
#else
    for (reader read : {read_sheet, read_font}) {
        FILE *dir = fopen(".", "rb");
        ASSERT_NE(dir, nullptr);
        errno = 0;
        EXPECT_EQ(read_from(dir, read).status, -1);
        EXPECT_EQ(errno, EISDIR);
        fclose(dir);
    }
#endif
}

TEST(WriteFont, TakesGlyphsColumnByColumnTopToBottom)
{
    bytes sheet = random_bytes(SHEET_BYTES, 5), font = font_written(sheet);

    ASSERT_EQ(font.size(), font_size);
    for (int c = 0; c < 8; c++)
        for (int g = 0; g < 16; g++)
            for (int s = 0; s < 8; s++)
                ASSERT_EQ(font[static_cast<size_t>(128 * c + 8 * g + s)],
                          sheet[static_cast<size_t>((8 * g + s) * 8 + c)])
                    << "column " << c << " glyph row " << g << " scanline " << s;
}

TEST(Writers, ReportAFailingWrite)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no full device";
#else
    for (writer write : {write_font, write_sheet}) {
        FILE *f = fopen("/dev/full", "wb");
        ASSERT_NE(f, nullptr);
        // Unbuffered, so the first byte meets the full device here rather
        // than when the stream is closed.
        setvbuf(f, nullptr, _IONBF, 0);
        bytes sheet(SHEET_BYTES, 0);
        errno = 0;
        EXPECT_EQ(write(sheet.data(), f), -1);
        EXPECT_EQ(errno, ENOSPC);
        fclose(f);
    }
#endif
}

// A font of a quarter ink, so that a picture of it is dark ink on light
// paper by any rule, and the sheet in memory it stands for: entry (row,
// column) is font byte 128 column + row.
const bytes quarter_ink = [] {
    bytes a = random_bytes(font_size, 7), b = random_bytes(font_size, 8);
    for (size_t i = 0; i < font_size; i++)
        a[i] &= b[i];
    return a;
}();
bytes sheet_array(const bytes &font)
{
    bytes sheet(SHEET_BYTES);
    for (size_t i = 0; i < SHEET_BYTES; i++)
        sheet[i] = font[128 * (i % 8) + i / 8];
    return sheet;
}
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
        FILE *f = stream_of(c.file);
        glyph_sheet sheet;
        char why[REASON_SIZE] = "";
        int status = read_sheet(f, sheet, why);
        fclose(f);
        EXPECT_EQ(status, *c.refused == '\0' ? 0 : 1) << c.name;
        EXPECT_STREQ(why, c.refused) << c.name;
        if (status == 0) {
            EXPECT_EQ(bytes(sheet, sheet + SHEET_BYTES), sheet_array(quarter_ink)) << c.name;
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
    sheet_result r = read_bytes(file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.sheet, sheet_array(font_of(file)));
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
        bytes font = font_written(read_bytes(file).sheet);
        bytes expected(1024, 0);
        expected[road.font_offset] = 0x01;
        EXPECT_EQ(font, expected) << "file offset " << road.file_offset;
    }
}

} // namespace
