// Every kind of file glyphrip can name, in one table: the pictures it
// reads, the ones it does not, paint programs' own files, compressed files
// and archives. A kind is told by bytes at a fixed place and, where those
// are few, by header fields that must agree.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "bytes.h"
#include "glyph_sheet.h"
#include "kinds.h"

namespace {

// `likely` kinds give way to `sized`, a TGA by its size alone, which gives
// way to `sure` ones.
enum class match { no, likely, sized, sure };

struct kind_row {
    file_kind kind;
    size_t at; // where `magic` stands
    const char *magic;
    size_t length;                       // of `magic`, which may hold zero bytes
    match (*check)(const first_bytes &); // nullptr: the magic alone is sure
};

bool has(const first_bytes &f, size_t at, const char *text)
{
    size_t length = strlen(text);
    return f.length >= at + length && memcmp(f.start + at, text, length) == 0;
}
match sure_if(bool b) { return b ? match::sure : match::no; }
match likely_if(bool b) { return b ? match::likely : match::no; }

match bmp(const first_bytes &f) { return sure_if(is_bmp(f.start, f.length)); }

// `P1` to `P7` then white space or a comment is netpbm, whole or damaged.
match netpbm(const first_bytes &f)
{
    if (f.length < 3 || (strchr(" \t\n\v\f\r#", f.start[2]) == nullptr || f.start[2] == '\0'))
        return match::no;
    bool more_follows = f.size == UNKNOWN_SIZE || f.size > f.length;
    return is_whole_netpbm_header(f.start, f.length, more_follows) ? match::sure : match::likely;
}

// TGA has no signature at its start: the footer TGA 2.0 ends a file with,
// a sheet's size where TGA keeps it, or a header whose fields agree.
match tga(const first_bytes &f)
{
    static const char footer[TAIL_BYTES + 1] = "TRUEVISION-XFILE.";
    if (f.tail != nullptr && memcmp(f.tail, footer, TAIL_BYTES) == 0)
        return match::sure;
    if (is_tga_of_sheet_size(f.start, f.length))
        return match::sized;
    return likely_if(is_tga_header(f.start, f.length));
}
match always_likely(const first_bytes & /*f*/) { return match::likely; }

// A JFIF or Exif segment first is sure; any other marker only likely.
match jpeg(const first_bytes &f)
{
    if (has(f, 6, "JFIF") || has(f, 6, "Exif"))
        return match::sure;
    return likely_if(f.length > 3 && (f.start[3] >= 0xC0 && f.start[3] != 0xFF));
}

match webp(const first_bytes &f) { return sure_if(has(f, 8, "WEBP")); }

// A zip archive whose first entry, `mimetype`, names the kind of document.
bool zip_says(const first_bytes &f, const char *mimetype)
{
    if (f.length < 30 || !has(f, 30, "mimetype"))
        return false;
    return has(f, 30 + size_t{le16(f.start + 26)} + le16(f.start + 28), mimetype);
}
match krita(const first_bytes &f) { return sure_if(zip_says(f, "application/x-krita")); }
match openraster(const first_bytes &f) { return sure_if(zip_says(f, "image/openraster")); }

// An ISO media file's brands, after the box's size and `ftyp`.
bool brand(const first_bytes &f, const char *const brands[])
{
    for (size_t i = 0; brands[i] != nullptr; i++)
        for (size_t at = 8; at + 4 <= f.length && at < 32; at += 4)
            if (at != 12 && has(f, at, brands[i])) // bytes 12 to 15 are a version
                return true;
    return false;
}
match avif(const first_bytes &f)
{
    static const char *const brands[] = {"avif", "avis", nullptr};
    return sure_if(brand(f, brands));
}
match heif(const first_bytes &f)
{
    static const char *const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1", nullptr};
    return sure_if(brand(f, brands));
}

match dds(const first_bytes &f) { return sure_if(f.length >= 8 && le16(f.start + 4) == 124 && le16(f.start + 6) == 0); }

// An icon directory that can be one: a first entry whose reserved byte is
// 0, whose image has a size and starts past the directory and inside the
// file; a cursor's planes and depth are its hot spot. Without the
// directory, the four bytes are as likely a raw sheet's.
match icon(const first_bytes &f)
{
    const unsigned char *b = f.start;
    if (f.length < 22)
        return match::no;
    std::uint32_t count = le16(b + 4), size = le32(b + 14), offset = le32(b + 18);
    bool inside = offset >= 6 + 16 * count && (f.size == UNKNOWN_SIZE || offset < f.size);
    return likely_if(count >= 1 && b[9] == 0 && (b[2] == 2 || le16(b + 10) <= 1) && size != 0 && inside);
}

// Version, encoding, bits per plane, the reserved byte and the planes.
match pcx(const first_bytes &f)
{
    const unsigned char *b = f.start;
    return likely_if(f.length >= 66 && b[1] <= 5 && b[1] != 1 && b[2] <= 1 &&
                     (b[3] == 1 || b[3] == 2 || b[3] == 4 || b[3] == 8) && b[64] == 0 && b[65] >= 1 && b[65] <= 4);
}

// Storage, bytes per channel, dimensions and channels.
match sgi(const first_bytes &f)
{
    const unsigned char *b = f.start;
    return likely_if(f.length >= 12 && b[2] <= 1 && (b[3] == 1 || b[3] == 2) && b[4] == 0 && b[5] >= 1 && b[5] <= 3 &&
                     b[10] == 0 && b[11] >= 1 && b[11] <= 4);
}

// The colour depth, and two fields that must be 0; sure where the header's
// first field, the file's length, is the length of the file.
match aseprite(const first_bytes &f)
{
    static const unsigned char zeros[8] = {0};
    unsigned depth = f.length >= 28 ? le16(f.start + 12) : 0;
    if (!((depth == 8 || depth == 16 || depth == 32) && memcmp(f.start + 20, zeros, 8) == 0))
        return match::no;
    return f.size != UNKNOWN_SIZE && le32(f.start) == f.size ? match::sure : match::likely;
}

match xbm(const first_bytes &f)
{
    for (size_t i = 8; i + 7 <= f.length && f.start[i] != '\n'; i++)
        if (memcmp(f.start + i, "_width ", 7) == 0)
            return match::sure;
    return match::no;
}

// Just past the first `end` in the first bytes from `at` on; 0 where
// there is none.
size_t past(const first_bytes &f, size_t at, const char *end)
{
    size_t length = strlen(end);
    for (size_t i = at; i + length <= f.length; i++)
        if (memcmp(f.start + i, end, length) == 0)
            return i + length;
    return 0;
}

bool is_xml_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Past a DOCTYPE from `at`: its internal subset in brackets and quoted
// strings may hold `>`.
size_t past_doctype(const first_bytes &f, size_t at)
{
    unsigned depth = 0;
    for (size_t i = at; i < f.length; i++) {
        unsigned char c = f.start[i];
        if (c == '"' || c == '\'') {
            const auto *close = static_cast<const unsigned char *>(memchr(f.start + i + 1, c, f.length - i - 1));
            if (close == nullptr)
                return 0;
            i = static_cast<size_t>(close - f.start);
        } else if (c == '[' || (c == ']' && depth > 0)) {
            depth += c == '[' ? 1 : static_cast<unsigned>(-1);
        } else if (c == '>' && depth == 0) {
            return i + 1;
        }
    }
    return 0;
}

// An `<svg` element first, past what may stand before it: a byte order
// mark, white space, an XML declaration, comments and a DOCTYPE, as
// ImageMagick, matplotlib and Inkscape write them; or a file that begins
// with a tag and holds `<svg` in its first bytes.
match svg(const first_bytes &f)
{
    size_t i = has(f, 0, "\xEF\xBB\xBF") ? 3 : 0;
    if (has(f, i, "<") && past(f, i, "<svg") != 0)
        return match::sure;
    for (;;) {
        while (i < f.length && is_xml_space(f.start[i]))
            i++;
        if (has(f, i, "<svg") && f.length > i + 4 && strchr(" \t\r\n>/", f.start[i + 4]) != nullptr)
            return match::sure;
        if (has(f, i, "<?xml"))
            i = past(f, i, "?>");
        else if (has(f, i, "<!--"))
            i = past(f, i + 4, "-->");
        else if (has(f, i, "<!DOCTYPE"))
            i = past_doctype(f, i + 9);
        else
            return match::no;
        if (i == 0)
            return match::no;
    }
}

// A POSIX or GNU tar header's magic, after the name, the mode and the
// other fields of its first 257 bytes.
match tar(const first_bytes &f)
{
    return sure_if(has(f, 257,
                       "ustar\0"
                       "00") ||
                   has(f, 257, "ustar  \0"));
}

// The IFF form of a Deluxe Paint picture: interleaved planes, or DPaint's
// chunky variant.
match ilbm(const first_bytes &f) { return sure_if(has(f, 8, "ILBM") || has(f, 8, "PBM ")); }

// A RIFF file of sound or video.
match wave(const first_bytes &f) { return sure_if(has(f, 8, "WAVE")); }
match avi(const first_bytes &f) { return sure_if(has(f, 8, "AVI ")); }

// An ISO media file of another brand than a picture's: its first box's
// length is that of a file type box, and its brand four characters.
match iso_media(const first_bytes &f)
{
    std::uint32_t size = f.length >= 12 ? be32(f.start) : 0;
    bool printable = true;
    for (size_t i = 8; i < 12 && i < f.length; i++)
        printable = printable && f.start[i] >= 0x20 && f.start[i] < 0x7F;
    return sure_if(size >= 16 && size <= 4096 && size % 4 == 0 && printable);
}

// A QuickTime movie without a file type box: its first atom, of a length
// that fits, is one a movie begins with.
match quicktime(const first_bytes &f)
{
    static const char *const atoms[] = {"moov", "mdat", "wide", "free", "skip", "pnot"};
    std::uint32_t size = f.length >= 8 ? be32(f.start) : 0;
    bool fits = size == 0 || (size >= 8 && (f.size == UNKNOWN_SIZE || size <= f.size));
    return likely_if(
        fits && std::any_of(std::begin(atoms), std::end(atoms), [&](const char *atom) { return has(f, 4, atom); }));
}

// The X Window System's window dump: a header of big-endian 32-bit fields
// whose values agree, version 7.
match xwd(const first_bytes &f)
{
    if (f.length < 100)
        return match::no;
    auto at = [&](size_t field) { return be32(f.start + 4 * field); };
    auto unit = [](std::uint32_t v) { return v == 8 || v == 16 || v == 32; };
    bool header = at(0) >= 100 && at(0) <= 4096 && at(2) <= 2 && at(3) >= 1 && at(3) <= 32 && at(4) > 0 && at(5) > 0 &&
                  at(7) <= 1 && unit(at(8)) && at(9) <= 1 && unit(at(10)) && at(11) >= 1 && at(11) <= 32;
    return sure_if(header);
}

// compress's .Z: the block mode flag aside, the largest code is of 9 to 16
// bits.
match compress(const first_bytes &f)
{
    unsigned bits = f.length >= 3 ? f.start[2] & 0x1FU : 0;
    return likely_if(bits >= 9 && bits <= 16 && (f.start[2] & 0x60) == 0);
}

// cpio's portable header, of octal or of hexadecimal numbers.
match cpio_text(const first_bytes &f)
{
    return sure_if(f.length >= 6 && strchr("127", f.start[5]) != nullptr && f.start[5] != 0);
}

// A binary cpio header of either byte order: a name of at least one byte.
match cpio(const first_bytes &f)
{
    unsigned name = f.length >= 26 ? (f.start[0] == 0xC7 ? le16(f.start + 20) : f.start[20] * 256U + f.start[21]) : 0;
    return likely_if(name >= 1 && name <= 4096);
}

// Compression method 8, no reserved flag, and a known system.
match gzip(const first_bytes &f)
{
    const unsigned char *b = f.start;
    return likely_if(f.length >= 10 && b[2] == 8 && (b[3] & 0xE0) == 0 && (b[9] <= 13 || b[9] == 255));
}

// A block's or the stream end's 48-bit magic after the block size.
match bzip2(const first_bytes &f)
{
    const unsigned char *b = f.start;
    return sure_if(f.length >= 10 && b[3] >= '1' && b[3] <= '9' &&
                   (memcmp(b + 4, "1AY&SY", 6) == 0 || memcmp(b + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0));
}

// Whether `ending` is one of the words of `endings`.
bool is_one_of(const char *ending, const char *endings)
{
    size_t length = strlen(ending);
    for (const char *e = endings; length > 0 && *e != '\0';) {
        size_t n = strcspn(e, " ");
        if (n == length && strncmp(e, ending, n) == 0)
            return true;
        e += n + (e[n] == ' ' ? 1 : 0);
    }
    return false;
}

#define MAGIC(s) (s), sizeof(s) - 1

const char save[] = "save the sheet as PNG or BMP";
const char export_png[] = "export the sheet as PNG";
const char uncompress[] = "uncompress it first";
const char extract[] = "extract the sheet from it first";
const char no_picture[] = "give the sheet, saved as PNG or BMP, instead";

// The pictures glyphrip reads come first; a kind told by more bytes comes
// before one whose signature begins the same, and TGA, which has none,
// comes last. Of kinds equally sure, the first wins.
// clang-format off
const kind_row rows[] = {
    {{"a PNG picture", nullptr, reader::png, "png"},        0, MAGIC("\x89PNG\r\n\x1a\n"), nullptr},
    {{"a BMP picture", nullptr, reader::bmp, "bmp dib"},        0, MAGIC("BM"), bmp},
    {{"a PBM picture", nullptr, reader::netpbm, "pbm"},     0, MAGIC("P1"), netpbm},
    {{"a PGM picture", nullptr, reader::netpbm, "pgm"},     0, MAGIC("P2"), netpbm},
    {{"a PPM picture", nullptr, reader::netpbm, "ppm pnm"},     0, MAGIC("P3"), netpbm},
    {{"a PBM picture", nullptr, reader::netpbm, "pbm"},     0, MAGIC("P4"), netpbm},
    {{"a PGM picture", nullptr, reader::netpbm, "pgm"},     0, MAGIC("P5"), netpbm},
    {{"a PPM picture", nullptr, reader::netpbm, "ppm pnm"},     0, MAGIC("P6"), netpbm},
    {{"a PAM picture", nullptr, reader::netpbm, "pam"},     0, MAGIC("P7"), netpbm},
    {{"a GIMP XCF file", "export the sheet as PNG with File > Export As", reader::none, "xcf"}, 0, MAGIC("gimp xcf "), nullptr},
    {{"a Photoshop PSD file", export_png, reader::none, "psd"}, 0, MAGIC("8BPS\0\1"), nullptr},
    {{"a Photoshop PSB file", export_png, reader::none, "psb"}, 0, MAGIC("8BPS\0\2"), nullptr},
    {{"a Krita document", "export the sheet as PNG with File > Export", reader::none, "kra"}, 0, MAGIC("PK\3\4"), krita},
    {{"an OpenRaster file", export_png, reader::none, "ora"}, 0, MAGIC("PK\3\4"), openraster},
    {{"an Aseprite file", export_png, reader::none, "ase aseprite"}, 4, MAGIC("\xE0\xA5"), aseprite},
    {{"a Paint.NET file", "save the sheet as PNG with File > Save As", reader::none, "pdn"}, 0, MAGIC("PDN3"), nullptr},
    {{"a Piskel file", export_png, reader::none, "piskel"},    0, MAGIC("{\"modelVersion\":"), nullptr},
    {{"a GraphicsGale file", export_png, reader::none, "gal"}, 0, MAGIC("GaleX200"), nullptr},
    {{"a GraphicsGale file", export_png, reader::none, "gal"}, 0, MAGIC("Gale106"), nullptr},
    {{"a Paint Shop Pro file", export_png, reader::none, "psp pspimage"}, 0, MAGIC("Paint Shop Pro Image File\n\x1a"), nullptr},
    {{"an IFF ILBM picture", save, reader::none, "iff ilbm lbm"}, 0, MAGIC("FORM"), ilbm},
    {{"a GIF picture", save, reader::none, "gif"},          0, MAGIC("GIF87a"), nullptr},
    {{"a GIF picture", save, reader::none, "gif"},          0, MAGIC("GIF89a"), nullptr},
    {{"a JPEG picture", save, reader::none, "jpg jpeg jpe jfif"},         0, MAGIC("\xFF\xD8\xFF"), jpeg},
    {{"a TIFF picture", save, reader::none, "tif tiff"},         0, MAGIC("II*\0"), nullptr},
    {{"a TIFF picture", save, reader::none, "tif tiff"},         0, MAGIC("MM\0*"), nullptr},
    {{"a TIFF picture", save, reader::none, "tif tiff"},         0, MAGIC("II+\0"), nullptr},
    {{"a TIFF picture", save, reader::none, "tif tiff"},         0, MAGIC("MM\0+"), nullptr},
    {{"a WebP picture", save, reader::none, "webp"},         0, MAGIC("RIFF"), webp},
    {{"an ICO icon", save, reader::none, "ico"},            0, MAGIC("\0\0\1\0"), icon},
    {{"a CUR cursor", save, reader::none, "cur"},           0, MAGIC("\0\0\2\0"), icon},
    {{"a PCX picture", save, reader::none, "pcx"},          0, MAGIC("\x0A"), pcx},
    {{"a QOI picture", save, reader::none, "qoi"},          0, MAGIC("qoif"), nullptr},
    {{"an AVIF picture", save, reader::none, "avif"},        4, MAGIC("ftyp"), avif},
    {{"a HEIF picture", save, reader::none, "heic heif"},         4, MAGIC("ftyp"), heif},
    {{"a JPEG XL picture", save, reader::none, "jxl"},      0, MAGIC("\0\0\0\x0CJXL \r\n\x87\n"), nullptr},
    {{"a JPEG XL picture", save, reader::none, "jxl"},      0, MAGIC("\xFF\x0A"), always_likely},
    {{"a JPEG 2000 picture", save, reader::none, "jp2 j2k jpx jpf j2c"},    0, MAGIC("\0\0\0\x0CjP  \r\n\x87\n"), nullptr},
    {{"a JPEG 2000 picture", save, reader::none, "jp2 j2k jpx jpf j2c"},    0, MAGIC("\xFF\x4F\xFF\x51"), nullptr},
    {{"a DDS texture", save, reader::none, "dds"},          0, MAGIC("DDS "), dds},
    {{"an OpenEXR picture", save, reader::none, "exr"},     0, MAGIC("\x76\x2F\x31\x01"), nullptr},
    {{"a Radiance HDR picture", save, reader::none, "hdr"}, 0, MAGIC("#?RADIANCE"), nullptr},
    {{"a Radiance HDR picture", save, reader::none, "hdr"}, 0, MAGIC("#?RGBE"), nullptr},
    {{"an SGI picture", save, reader::none, "sgi rgb rgba bw"},         0, MAGIC("\x01\xDA"), sgi},
    {{"a Sun raster picture", save, reader::none, "ras sun"},   0, MAGIC("\x59\xA6\x6A\x95"), nullptr},
    {{"an XPM picture", save, reader::none, "xpm"},         0, MAGIC("/* XPM */"), nullptr},
    {{"an XPM picture", save, reader::none, "xpm"},         0, MAGIC("! XPM2"), nullptr},
    {{"an XBM picture", save, reader::none, "xbm"},         0, MAGIC("#define "), xbm},
    {{"a MIFF picture", save, reader::none, "miff"},         0, MAGIC("id=ImageMagick"), nullptr},
    {{"a farbfeld picture", save, reader::none, "ff"},     0, MAGIC("farbfeld"), nullptr},
    {{"an MNG animation", save, reader::none, "mng"},       0, MAGIC("\x8AMNG\r\n\x1a\n"), nullptr},
    {{"a JNG picture", save, reader::none, "jng"},          0, MAGIC("\x8BJNG\r\n\x1a\n"), nullptr},
    {{"a FITS picture", save, reader::none, "fits fit fts"}, 0, MAGIC("SIMPLE  ="), nullptr},
    {{"a DPX picture", save, reader::none, "dpx"},          0, MAGIC("SDPX"), nullptr},
    {{"a DPX picture", save, reader::none, "dpx"},          0, MAGIC("XPDS"), nullptr},
    {{"a Cineon picture", save, reader::none, "cin"},       0, MAGIC("\x80\x2A\x5F\xD7"), nullptr},
    {{"an XWD picture", save, reader::none, "xwd"},         4, MAGIC("\0\0\0\x07"), xwd},
    {{"a PDF document", export_png, reader::none, "pdf"},   0, MAGIC("%PDF-"), nullptr},
    {{"an SVG drawing", export_png, reader::none, "svg svgz"},   0, MAGIC(""), svg},
    {{"a Microsoft Office document", export_png, reader::none, "doc xls ppt"}, 0, MAGIC("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"), nullptr},
    {{"a WAV sound", no_picture, reader::none, "wav"},      0, MAGIC("RIFF"), wave},
    {{"an AVI video", no_picture, reader::none, "avi"},     0, MAGIC("RIFF"), avi},
    {{"an MP4 or QuickTime video", no_picture, reader::none, "mp4 m4v mov"}, 4, MAGIC("ftyp"), iso_media},
    {{"an MP4 or QuickTime video", no_picture, reader::none, "mp4 m4v mov"}, 0, MAGIC(""), quicktime},
    {{"an SQLite database", no_picture, reader::none, "sqlite sqlite3 db"}, 0, MAGIC("SQLite format 3\0"), nullptr},
    {{"an ELF program", no_picture, reader::none, "elf so"}, 0, MAGIC("\x7F" "ELF"), nullptr},
    {{"a gzip file", uncompress, reader::none, "gz"},      0, MAGIC("\x1F\x8B"), gzip},
    {{"a bzip2 file", uncompress, reader::none, "bz2"},     0, MAGIC("BZh"), bzip2},
    {{"an xz file", uncompress, reader::none, "xz"},       0, MAGIC("\xFD" "7zXZ\0"), nullptr},
    {{"a zstd file", uncompress, reader::none, "zst"},      0, MAGIC("\x28\xB5\x2F\xFD"), nullptr},
    {{"a zip archive", extract, reader::none, "zip"},       0, MAGIC("PK\3\4"), nullptr},
    {{"a zip archive", extract, reader::none, "zip"},       0, MAGIC("PK\5\6"), nullptr},
    {{"a 7z archive", extract, reader::none, "7z"},        0, MAGIC("7z\xBC\xAF\x27\x1C"), nullptr},
    {{"a RAR archive", extract, reader::none, "rar"},       0, MAGIC("Rar!\x1A\x07"), nullptr},
    {{"a tar archive", extract, reader::none, "tar"},       0, MAGIC(""), tar},
    {{"a cpio archive", extract, reader::none, "cpio"},     0, MAGIC("07070"), cpio_text},
    {{"a cpio archive", extract, reader::none, "cpio"},     0, MAGIC("\xC7\x71"), cpio},
    {{"a cpio archive", extract, reader::none, "cpio"},     0, MAGIC("\x71\xC7"), cpio},
    {{"an ar archive", extract, reader::none, "ar"},        0, MAGIC("!<arch>\n"), nullptr},
    {{"an LZ4 file", uncompress, reader::none, "lz4"},      0, MAGIC("\x04\x22\x4D\x18"), nullptr},
    {{"an LZ4 file", uncompress, reader::none, "lz4"},      0, MAGIC("\x02\x21\x4C\x18"), nullptr},
    {{"a compress (.Z) file", uncompress, reader::none, "z"},    0, MAGIC("\x1F\x9D"), compress},
    {{"a TGA picture", nullptr, reader::tga, "tga icb vda vst"},        0, MAGIC(""), tga},
};
// clang-format on

} // namespace

const file_kind *kind_of(const first_bytes &file, sureness at_least, bool *sure)
{
    const kind_row *best = nullptr;
    match best_match = match::no;
    for (const auto &row : rows) {
        // The first byte of the magic tells most rows apart at once.
        bool first =
            row.length == 0 || (file.length > row.at && file.start[row.at] == static_cast<unsigned char>(row.magic[0]));
        if (!first || file.length < row.at + row.length || memcmp(file.start + row.at, row.magic, row.length) != 0)
            continue;
        match m = row.check != nullptr ? row.check(file) : match::sure;
        if (m > best_match) {
            best = &row;
            best_match = m;
        }
        if (m == match::sure) // none is surer
            break;
    }
    if (sure != nullptr)
        *sure = best_match == match::sure;
    if (best_match == match::no || (best_match != match::sure && at_least == sureness::sure))
        return nullptr;
    return &best->kind;
}

bool wants_more(const first_bytes &file)
{
    // The first byte of an SVG's prologue, or a tar header's mode field.
    const unsigned char *b = file.start;
    if (file.length == 0 || file.length >= LOOK_BYTES || file.size != UNKNOWN_SIZE)
        return false;
    if (b[0] == '<' || b[0] == 0xEF || is_xml_space(b[0]))
        return true;
    bool mode = file.length >= 108;
    for (size_t i = 100; mode && i < 107; i++)
        mode = (b[i] >= '0' && b[i] <= '7') || b[i] == ' ';
    return mode;
}

const file_kind *kind_by_ending(const char *ending)
{
    const auto *row = std::find_if(std::begin(rows), std::end(rows),
                                   [&](const kind_row &r) { return is_one_of(ending, r.kind.endings); });
    return row != std::end(rows) ? &row->kind : nullptr;
}

const file_kind *kind_of_input(input &in, sureness at_least, bool *sure)
{
    bool sure_here = false;
    if (wants_more(first_bytes_of(in)))
        look_further(in);
    const file_kind *kind = kind_of(first_bytes_of(in), at_least, &sure_here);
    // Whether the footer could tell more than the start has: a kind where
    // none is named, or a sure one where that matters to the caller.
    bool sureness_matters = at_least == sureness::sure || sure != nullptr;
    if (in.size == UNKNOWN_SIZE && (kind == nullptr || (!sure_here && sureness_matters))) {
        look_at_end(in);
        if (in.last_known)
            kind = kind_of(first_bytes_of(in), at_least, &sure_here);
    }
    if (sure != nullptr)
        *sure = sure_here;
    return kind;
}

const file_kind *kind_beside_fonts(input &in, std::uint64_t font_length)
{
    bool sure = false;
    const file_kind *kind = kind_of_input(in, sureness::likely, &sure);
    return sure || !(is_font_length(in.size) || in.size == font_length) ? kind : nullptr;
}
