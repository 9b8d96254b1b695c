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
