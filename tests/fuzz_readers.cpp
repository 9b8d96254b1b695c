// libFuzzer target: arbitrary bytes to both programs' readers, as the input
// they read, and what a reader takes to both programs' writers. Besides
// what the sanitizers catch, a reader must succeed or refuse in one line,
// and a sheet it gives must be of a sheet's size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "glyph_sheet.h"
#include "picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    static input in;
    static glyph_sheet sheet;
    static unsigned char out[MOST_WRITTEN];
    for (auto read : {read_sheet, read_font}) {
        open_memory(in, data, size);
        char why[REASON_SIZE];
        memset(why, 0, sizeof why);
        int status = read(in, sheet, why);
        size_t length = strnlen(why, sizeof why);
        bool one_line = length > 0 && length < sizeof why && strchr(why, '\n') == nullptr;
        if (status < 0 || status > 1 || (status == 1 && !one_line))
            abort();
        if (status == 0 && !is_sheet_size(sheet.width, sheet.height))
            abort();
        for (auto write : {write_font, write_sheet, write_png, write_pbm, write_pgm, write_ppm})
            if (status == 0 && write(sheet, out) > MOST_WRITTEN)
                abort();
    }
    return 0;
}
