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
    return refuse(why,
                  "%lld x %lld pixels; a sheet is 64 x 128, 128 x 64 or 128 x 128; glyphcut reads any other layout",
                  width, height);
}

void read_one_bit(input &in, std::uint64_t offset, ink &k, size_t stride, bool top_down)
{
    size_t bytes = (size_t{k.width} + 7) / 8;
    k.by_value = true;
    if (position(in) < offset)
        (void)skip_bytes(in, offset - position(in));
    for (size_t n = 0; n < k.height; n++) {
        unsigned char *row = k.dark + (top_down ? n : k.height - 1 - n) * k.row_bytes;
        for (size_t col = 0; col < stride; col++) {
            int b = next_byte(in);
            if (col < bytes)
                row[col] = static_cast<unsigned char>(reverse_bits(b));
        }
    }
}
