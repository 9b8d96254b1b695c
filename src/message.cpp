// The line a failure is reported in: the file's name, shown as `ls -b`
// shows names, and why. Both programs and the page make it here.
#include <cstdint>
#include <cstring>

#include "program.h"

// The length of the one printable character of UTF-8 text that starts at
// `p`, or 0 where what starts there is a control character (C0, DEL or
// C1) or no character: a byte out of place, an overlong form, a surrogate
// or past U+10FFFF.
static size_t printable_at(const unsigned char *p)
{
    unsigned c = p[0];
    if (c >= 0x20 && c < 0x7F)
        return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    std::uint32_t code = c & (0x7FU >> n);
    for (size_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80) // a 0 byte ends the name here too
            return 0;
        code = code << 6 | (p[i] & 0x3FU);
    }
    bool shortest = n != 3 || code >= 0x800, in_range = n != 4 || (code >= 0x10000 && code <= 0x10FFFF);
    bool c1 = n == 2 && code <= 0x9F, surrogate = code >= 0xD800 && code <= 0xDFFF;
    return n > 0 && shortest && in_range && !c1 && !surrogate ? n : 0;
}

size_t show_name(const char **name, char *out, size_t room)
{
    static const char letters[] = "\a\b\t\n\v\f\r";
    const auto *p = reinterpret_cast<const unsigned char *>(*name);
    size_t n = 0;
    while (*p != 0 && n + 4 <= room) {
        size_t length = printable_at(p);
        const char *letter = length == 0 ? strchr(letters, *p) : nullptr; // *p is never the terminating 0
        for (size_t i = 0; i < length; i++)
            out[n++] = static_cast<char>(*p++);
        if (length > 0)
            continue;
        out[n++] = '\\';
        if (letter != nullptr) {
            out[n++] = "abtnvfr"[letter - letters];
        } else {
            out[n++] = static_cast<char>('0' + (*p >> 6));
            out[n++] = static_cast<char>('0' + (*p >> 3 & 7));
            out[n++] = static_cast<char>('0' + (*p & 7));
        }
        p++;
    }
    *name = reinterpret_cast<const char *>(p);
    return n;
}

void to_line(const char *piece, size_t length, void *line)
{
    auto *l = static_cast<line_buffer *>(line);
    size_t n = length < l->room - 1 - l->length ? length : l->room - 1 - l->length;
    memcpy(l->text + l->length, piece, n);
    l->length += n;
    l->text[l->length] = '\0';
}

void failure_line(const char *name, const char *reason, void (*put)(const char *piece, size_t length, void *to),
                  void *to)
{
    if (*name != '\0') {
        char shown[256];
        for (const char *p = name; *p != '\0';) {
            size_t n = show_name(&p, shown, sizeof shown);
            put(shown, n, to);
        }
        put(": ", 2, to);
    }
    put(reason, strlen(reason), to);
}
