// What the readers of pictures share: refusing, and the one-bit layout.
#include <cstdarg>
#include <cstdio>

#include "picture.h"

// printf's way, its format checked by the compiler.
int refuse(char why[REASON_SIZE], const char *format, ...) // NOLINT(cert-dcl50-cpp)
{
    va_list args;
    va_start(args, format);
    (void)vsnprintf(why, REASON_SIZE, format, args); // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(args);
    return 1;
}

int refuse_size(char why[REASON_SIZE], long long width, long long height)
{
    return refuse(why, "%lld x %lld pixels; a sheet is 64 x 128, 128 x 64 or 128 x 128", width, height);
}

void read_one_bit(input &in, std::uint64_t offset, unsigned width, unsigned height, bool top_down, glyph_sheet &sheet)
{
    size_t row_bytes = width / 8;
    sheet.width = width;
    sheet.height = height;
    sheet.ink = ink_from::bits;
    if (position(in) < offset)
        (void)skip_bytes(in, offset - position(in));
    for (size_t k = 0; k < height; k++) {
        unsigned char *row = sheet.bits + (top_down ? k : height - 1 - k) * row_bytes;
        for (size_t col = 0; col < row_bytes; col++)
            row[col] = static_cast<unsigned char>(reverse_bits(next_byte(in)));
    }
}
