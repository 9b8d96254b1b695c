// The floor under a PNG conversion: a program built as the tools are that
// only inflates the image data of the PNG it is given, as glyphrip must,
// and does nothing else with it, into one buffer used again and again.
#include <cstdio>
#include <cstring>

#include <zlib.h>

static unsigned long be32(const unsigned char *p)
{
    return static_cast<unsigned long>(p[0]) << 24 | static_cast<unsigned long>(p[1]) << 16 |
           static_cast<unsigned long>(p[2]) << 8 | p[3];
}

int main(int argc, char *argv[])
{
    static unsigned char file[1 << 22], out[1 << 17];
    FILE *in = argc == 2 ? fopen(argv[1], "rb") : nullptr;
    if (in == nullptr)
        return 1;
    size_t n = fread(file, 1, sizeof file, in);
    (void)fclose(in);
    z_stream z = {};
    if (inflateInit(&z) != Z_OK)
        return 1;
    for (size_t at = 8; at + 12 <= n;) {
        unsigned long length = be32(file + at);
        if (length > n - at - 12)
            break;
        if (memcmp(file + at + 4, "IDAT", 4) == 0) {
            z.next_in = file + at + 8;
            z.avail_in = static_cast<uInt>(length);
            int status = Z_OK;
            while (z.avail_in > 0 && status == Z_OK) {
                if (z.avail_out == 0 || z.next_out == nullptr) {
                    z.next_out = out;
                    z.avail_out = sizeof out;
                }
                status = inflate(&z, Z_NO_FLUSH);
            }
        }
        at += 12 + length;
    }
    (void)inflateEnd(&z);
    return z.total_out > 0 ? 0 : 1;
}
