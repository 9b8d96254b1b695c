// libFuzzer target: arbitrary bytes to both programs' readers, as a file
// they read. Besides what the sanitizers catch, a reader must succeed or
// refuse in one line; a stream in memory cannot fail.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "glyph_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    for (auto read : {read_sheet, read_font}) {
        // An empty stream in memory is not to be had everywhere.
        FILE *in = size > 0 ? fmemopen(const_cast<std::uint8_t *>(data), size, "rb") : fopen("/dev/null", "rb");
        if (in == nullptr)
            abort();
        glyph_sheet sheet;
        char why[REASON_SIZE];
        memset(why, 0, sizeof why);
        int status = read(in, sheet, why);
        fclose(in);
        size_t length = strnlen(why, sizeof why);
        bool one_line = length > 0 && length < sizeof why && strchr(why, '\n') == nullptr;
        if (status < 0 || status > 1 || (status == 1 && !one_line))
            abort();
    }
    return 0;
}
