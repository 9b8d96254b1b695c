// The font as a file: the raw font, glyph after glyph in code order, or
// C source of the same bytes, which glyphrip and glyphcut write; and the
// raw font of 8 x 8 glyphs glyphsheet reads into a sheet.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "kinds.h"
#include "picture.h"
#include "program.h"

int read_font(input &in, glyph_sheet &sheet, char why[REASON_SIZE])
{
    // A picture here is most likely a sheet given to the wrong program; a
    // font may begin with any bytes, so only a sure sign counts.
    if (const file_kind *kind = kind_of_input(in, sureness::sure))
        return refuse(why, "%s, not a raw font", kind->name);
    unsigned char font[WIDE_FONT_BYTES];
    size_t got = next_bytes(in, font, sizeof font);
    if (in.failed)
        return -1;
    size_t length = got > FONT_BYTES ? WIDE_FONT_BYTES : FONT_BYTES;
    for (size_t i = got; i < length; i++)
        font[i] = 0xFF;
    sheet.width = length == FONT_BYTES ? 64 : 128;
    sheet.height = 128;
    sheet.ink = ink_from::bits;
    layout l;
    (void)sheet_layout(sheet.width, sheet.height, l);
    size_t row_bytes = sheet.width / 8;
    for (unsigned n = 0; n < length / 8; n++) {
        cell_place at = cell_of(l, n);
        for (size_t s = 0; s < 8; s++)
            sheet.bits[(8 * size_t{at.row} + s) * row_bytes + at.column] = font[8 * static_cast<size_t>(n) + s];
    }
    return 0;
}

void put(sink &s, const void *bytes, size_t n)
{
    if (s.failed || n == 0)
        return;
    if (s.file != nullptr) {
        s.failed = fwrite(bytes, 1, n, s.file) != n;
        return;
    }
    s.failed = n > s.room - s.length;
    if (!s.failed)
        memcpy(s.memory + s.length, bytes, n);
    s.length += s.failed ? 0 : n;
}

namespace {

ink picture_ink;
font cut;

} // namespace

int read_font_picture(input &in, const told &t, char why[REASON_SIZE])
{
    int status = read_picture(in, t, picture_ink, why);
    if (status != 0 || finish_font(picture_ink, cut, why) != 0)
        return status != 0 ? status : 1;
    cut.msb = t.msb;
    cut.program = t.program;
    for (size_t i = 0; t.msb && i < cut.length; i++)
        cut.data[i] = static_cast<unsigned char>(reverse_bits(cut.data[i]));
    return 0;
}

const font &font_read() { return cut; }
const ink &picture_read() { return picture_ink; }
void keep_colours(unsigned char *rgba) { picture_ink.rgba = rgba; }

namespace {

void write_raw(sink &s, const char * /*stem*/) { put(s, cut.data, cut.length); }

// C source is written a piece at a time through `text`, so that a font of
// any size takes no more memory than this.
struct source {
    sink *s;
    char text[1 << 16];
    size_t length;
};

void flush(source &c)
{
    put(*c.s, c.text, c.length);
    c.length = 0;
}

[[gnu::format(printf, 2, 3)]] void say(source &c, const char *format, ...) // NOLINT(cert-dcl50-cpp)
{
    if (sizeof c.text - c.length < 1024)
        flush(c);
    va_list args;
    va_start(args, format);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): va_start is just above
    int n = vsnprintf(c.text + c.length, sizeof c.text - c.length, format, args);
    va_end(args);
    c.length += n > 0 ? static_cast<size_t>(n) : 0;
}

// The array's name: the file's, every byte but an ASCII letter, digit or
// `_` made `_`, `_` before a first digit, and `_font` after a keyword of C
// or C++.
void array_name(const char *stem, char name[256])
{
    // Each word between spaces, so that one search finds a whole word.
    static const char keywords[] =
        " "
        "alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t char16_t "
        "char32_t class compl concept const consteval constexpr constinit const_cast continue co_await "
        "co_return co_yield decltype default delete do double dynamic_cast else enum explicit export "
        "extern false float for friend goto if inline int long mutable namespace new noexcept not not_eq "
        "nullptr operator or or_eq private protected public register reinterpret_cast requires restrict "
        "return short signed sizeof static static_assert static_cast struct switch template this "
        "thread_local throw true try typedef typeid typename union unsigned using virtual void volatile "
        "wchar_t while xor xor_eq _Alignas _Alignof _Atomic _Bool _Complex _Generic _Imaginary _Noreturn "
        "_Static_assert _Thread_local ";
    size_t n = 0;
    if (stem[0] >= '0' && stem[0] <= '9')
        name[n++] = '_';
    for (const char *c = stem; *c != '\0' && n < 200; c++) {
        bool kept = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_';
        name[n++] = kept ? *c : '_';
    }
    name[n] = '\0';
    if (n == 0)
        (void)snprintf(name, 256, "font");
    char word[258];
    (void)snprintf(word, sizeof word, " %s ", name);
    if (strstr(keywords, word) != nullptr)
        (void)snprintf(name + n, 256 - n, "_font");
}

// The first line says which program wrote the file, as the guard reads it,
// and how the font was cut.
void first_line(source &c)
{
    const layout &l = cut.l;
    say(c,
        "/* Written by %s: %u glyphs of %u x %u, codes %u to %u, each row %lu byte%s, the leftmost pixel in bit %d; "
        "cells in a grid of %u x %u %s, scale %u, offset %u,%u, gap %u,%u */\n",
        cut.program, l.count, l.cell_width, l.cell_height, l.first, l.first + l.count - 1,
        static_cast<unsigned long>(cut.row_bytes), cut.row_bytes == 1 ? "" : "s", cut.msb ? 7 : 0, l.columns, l.rows,
        l.by_columns ? "down the columns" : "along the rows", l.scale, l.offset_x, l.offset_y, l.gap_x, l.gap_y);
}

void write_c(sink &s, const char *stem, bool header)
{
    static source c;
    c.s = &s;
    c.length = 0;
    char name[256], guard[300];
    array_name(stem, name);
    size_t n = 0;
    for (const char *p = name; *p != '\0'; p++)
        guard[n++] = static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
    (void)snprintf(guard + n, sizeof guard - n, "_H");
    const layout &l = cut.l;
    size_t bytes = cut.row_bytes * l.cell_height;
    first_line(c);
    if (header)
        say(c, "#ifndef %s%s\n#define %s%s\n\n", guard[0] == '_' ? "FONT" : "", guard, guard[0] == '_' ? "FONT" : "",
            guard);
    auto row = static_cast<unsigned long>(cut.row_bytes), each = static_cast<unsigned long>(bytes);
    say(c, "/* Row r of the glyph of code c: %s[c - %u] + %lu * r. */\n", name, l.first, row);
    if (!header)
        say(c, "extern const unsigned char %s[%u][%lu];\n", name, l.count, each);
    say(c, "%sconst unsigned char %s[%u][%lu] = {\n", header ? "static " : "", name, l.count, each);
    for (unsigned g = 0; g < l.count; g++) {
        const unsigned char *glyph = cut.data + g * bytes;
        say(c, "    {");
        for (size_t i = 0; i < bytes; i++)
            say(c, i == 0 ? "0x%02x" : ", 0x%02x", glyph[i]);
        unsigned code = l.first + g;
        if (code >= 32 && code < 127)
            say(c, "}, /* %u '%c' */\n", code, static_cast<char>(code));
        else
            say(c, "}, /* %u */\n", code);
    }
    say(c, "};\n");
    if (header)
        say(c, "\n#endif\n");
    flush(c);
}

void write_header(sink &s, const char *stem) { write_c(s, stem, true); }
void write_source(sink &s, const char *stem) { write_c(s, stem, false); }

} // namespace

bool written_by_us(const unsigned char *start, size_t n)
{
    static const char *const marks[] = {"/* Written by glyphrip:", "/* Written by glyphcut:"};
    return std::any_of(std::begin(marks), std::end(marks),
                       [&](const char *mark) { return n >= strlen(mark) && memcmp(start, mark, strlen(mark)) == 0; });
}

int font_output(const char *ending, const told & /*t*/, output &out, char * /*why*/)
{
    if (strcmp(ending, "h") == 0 || strcmp(ending, "c") == 0) {
        out = {strcmp(ending, "h") == 0 ? write_header : write_source, 0, true};
        return 0;
    }
    out = {write_raw, cut.length, false};
    return 0;
}
