// glyphcut's options, which tell the layout of the glyphs on a picture,
// which pixels are ink, and the order of each byte's bits: each read and
// checked, at most once, before the paths.
#include <cstdint>
#include <cstring>

#include "picture.h"
#include "program.h"

namespace {

// A whole number of decimal digits, at most `most`.
bool whole(const char *s, std::uint32_t most, unsigned &v)
{
    std::uint64_t n = 0;
    if (*s == '\0')
        return false;
    for (; *s != '\0'; s++) {
        if (*s < '0' || *s > '9')
            return false;
        n = n * 10 + static_cast<unsigned>(*s - '0');
        if (n > most)
            return false;
    }
    v = static_cast<unsigned>(n);
    return true;
}

// Two whole numbers from `least` to `most` with `between` between them.
bool pair(const char *s, char between, std::uint32_t least, std::uint32_t most, unsigned &a, unsigned &b)
{
    const char *mark = strchr(s, between);
    char first[16];
    if (mark == nullptr || static_cast<size_t>(mark - s) >= sizeof first)
        return false;
    memcpy(first, s, static_cast<size_t>(mark - s));
    first[mark - s] = '\0';
    return whole(first, most, a) && whole(mark + 1, most, b) && a >= least && b >= least;
}

// A colour as #RRGGBB, in either case.
bool colour(const char *s, unsigned char rgb[3])
{
    if (s[0] != '#' || strlen(s) != 7)
        return false;
    for (size_t i = 0; i < 6; i++) {
        char c = s[1 + i];
        unsigned d = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                     : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                     : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                            : 16;
        if (d > 15)
            return false;
        rgb[i / 2] = static_cast<unsigned char>(i % 2 == 0 ? d << 4 : rgb[i / 2] | d);
    }
    return true;
}

bool word(const char *s, const char *const words[], unsigned &which)
{
    for (which = 0; words[which] != nullptr; which++)
        if (strcmp(s, words[which]) == 0)
            return true;
    return false;
}

enum option { cell, scale, offset, gap, grid, order, first, count, ink_option, paper, bits, OPTIONS };

const struct {
    const char *name, *takes;
} options[OPTIONS] = {{"cell", "WxH, each 1 to 32"},
                      {"scale", "a whole number 1 to 16"},
                      {"offset", "X,Y, each 0 to 4095"},
                      {"gap", "X,Y, each 0 to 4095"},
                      {"grid", "CxR, each 1 or more"},
                      {"order", "rows or columns"},
                      {"first", "a whole number 0 to 65535"},
                      {"count", "a whole number 1 or more, the last code at most 65535"},
                      {"ink", "auto, dark, light, opaque or #RRGGBB"},
                      {"paper", "#RRGGBB"},
                      {"bits", "lsb or msb"}};

// Reads the value of option `o` into `t`; false where it is malformed or
// out of range.
bool value_of(option o, const char *v, told &t)
{
    static const char *const orders[] = {"rows", "columns", nullptr}, *const bit_orders[] = {"lsb", "msb", nullptr},
                             *const inks[] = {"auto", "dark", "light", "opaque", nullptr};
    static const ink_choice choices[] = {ink_choice::rule, ink_choice::dark, ink_choice::light, ink_choice::opaque};
    layout &l = t.l;
    unsigned w = 0;
    switch (o) {
    case cell: return pair(v, 'x', 1, MOST_CELL, l.cell_width, l.cell_height);
    case scale: return whole(v, MOST_SCALE, l.scale) && l.scale >= 1;
    case offset: return pair(v, ',', 0, MOST_SPACE, l.offset_x, l.offset_y);
    case gap: return pair(v, ',', 0, MOST_SPACE, l.gap_x, l.gap_y);
    case grid: return pair(v, 'x', 1, MOST_PIXELS, l.columns, l.rows);
    case first: return whole(v, LAST_CODE, l.first);
    case count: return whole(v, LAST_CODE + 1, l.count) && l.count >= 1;
    case paper: t.ink = ink_choice::paper; return colour(v, t.colour);
    case order:
        if (!word(v, orders, w))
            return false;
        l.by_columns = w == 1;
        return true;
    case bits:
        if (!word(v, bit_orders, w))
            return false;
        t.msb = w == 1;
        return true;
    default:
        if (word(v, inks, w)) {
            t.ink = choices[w];
            return true;
        }
        t.ink = ink_choice::colour;
        return colour(v, t.colour);
    }
}

int refuse_option(char why[REASON_SIZE], option o, const char *value)
{
    // The value as a message shows names: one line, nothing for the
    // terminal to obey.
    char shown[40];
    const char *rest = value;
    size_t n = show_name(&rest, shown, sizeof shown - 4);
    if (*rest != '\0')
        n += static_cast<size_t>(snprintf(shown + n, sizeof shown - n, "..."));
    shown[n] = '\0';
    return refuse(why, "--%s takes %s, not %s", options[o].name, options[o].takes, shown);
}

} // namespace

// The option `--name` or `--name=value` names, as an index into
// `options`; OPTIONS where it names none.
static int option_named(const char *a, const char *equals)
{
    size_t length = equals != nullptr ? static_cast<size_t>(equals - a) - 2 : strlen(a) - 2;
    int o = 0;
    while (o < OPTIONS && !(strlen(options[o].name) == length && strncmp(a + 2, options[o].name, length) == 0))
        o++;
    return o;
}

// Reads the option at argv[i], and its value, the rest of it or the next
// argument, on which i then stands: 0, 1 with `why` filled in, or 2 for
// the usage line.
static int read_option(int argc, const char *const argv[], int &i, told &t, bool given[OPTIONS], char why[REASON_SIZE])
{
    const char *a = argv[i], *equals = strchr(a, '='), *v = equals != nullptr ? equals + 1 : nullptr;
    int o = option_named(a, equals);
    if (o == OPTIONS || (v == nullptr && ++i == argc))
        return 2;
    v = v != nullptr ? v : argv[i];
    auto which = static_cast<option>(o);
    if (given[o])
        return refuse(why, "--%s is given twice; it takes %s, once", options[o].name, options[o].takes);
    given[o] = true;
    return value_of(which, v, t) ? 0 : refuse_option(why, which, v);
}

int read_options(int argc, const char *const argv[], told &t, int &paths, char why[REASON_SIZE])
{
    bool given[OPTIONS] = {};
    int i = 1;
    for (; i < argc; i++) {
        const char *a = argv[i];
        if (strcmp(a, "--") == 0) {
            i++;
            break;
        }
        if (a[0] != '-' || a[1] == '\0') // the first path; `-` is a name like any other
            break;
        int status = a[1] != '-' ? 2 : read_option(argc, argv, i, t, given, why);
        if (status != 0)
            return status;
    }
    paths = i;
    if (argc - i != 2)
        return 2;
    if (given[ink_option] && given[paper])
        return refuse(why, "--paper takes #RRGGBB, and no --ink beside it");
    if (std::uint64_t{t.l.first} + (given[count] ? t.l.count : 1) - 1 > LAST_CODE)
        return refuse(why, "--count takes %s; from code %u, at most %u glyphs", options[count].takes, t.l.first,
                      LAST_CODE + 1 - t.l.first);
    t.cell = given[cell];
    t.scale = given[scale];
    t.offset = given[offset];
    t.gap = given[gap];
    t.grid = given[grid];
    t.order = given[order];
    t.count = given[count];
    return 0;
}
