// Every kind of file glyphrip can name, in one table: the pictures it
// reads, the ones it does not, paint programs' own files, compressed files
// and archives. A kind is told by bytes at a fixed place and, where those
// are few, by header fields that must agree.
#include <cstring>

#include "kinds.h"
#include "picture.h"

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
    return is_whole_netpbm_header(f.start, f.length) ? match::sure : match::likely;
}

// TGA has no signature: a sheet's size where TGA keeps it, or a header
// whose fields agree.
match tga(const first_bytes &f)
{
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

// The colour depth, and two fields that must be 0.
match aseprite(const first_bytes &f)
{
    static const unsigned char zeros[8] = {0};
    unsigned depth = f.length >= 28 ? le16(f.start + 12) : 0;
    return likely_if((depth == 8 || depth == 16 || depth == 32) && memcmp(f.start + 20, zeros, 8) == 0);
}

match xbm(const first_bytes &f)
{
    for (size_t i = 8; i + 7 <= f.length && f.start[i] != '\n'; i++)
        if (memcmp(f.start + i, "_width ", 7) == 0)
            return match::sure;
    return match::no;
}

match svg(const first_bytes &f)
{
    for (size_t i = 0; i + 4 <= f.length; i++)
        if (memcmp(f.start + i, "<svg", 4) == 0)
            return match::sure;
    return match::no;
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
    {{"a PDF document", export_png, reader::none, "pdf"},   0, MAGIC("%PDF-"), nullptr},
    {{"an SVG drawing", export_png, reader::none, "svg svgz"},   0, MAGIC("<"), svg},
    {{"an SVG drawing", export_png, reader::none, "svg svgz"},   0, MAGIC("\xEF\xBB\xBF<"), svg},
    {{"a gzip file", uncompress, reader::none, "gz"},      0, MAGIC("\x1F\x8B"), gzip},
    {{"a bzip2 file", uncompress, reader::none, "bz2"},     0, MAGIC("BZh"), bzip2},
    {{"an xz file", uncompress, reader::none, "xz"},       0, MAGIC("\xFD" "7zXZ\0"), nullptr},
    {{"a zstd file", uncompress, reader::none, "zst"},      0, MAGIC("\x28\xB5\x2F\xFD"), nullptr},
    {{"a zip archive", extract, reader::none, "zip"},       0, MAGIC("PK\3\4"), nullptr},
    {{"a zip archive", extract, reader::none, "zip"},       0, MAGIC("PK\5\6"), nullptr},
    {{"a 7z archive", extract, reader::none, "7z"},        0, MAGIC("7z\xBC\xAF\x27\x1C"), nullptr},
    {{"a TGA picture", nullptr, reader::tga, "tga icb vda vst"},        0, MAGIC(""), tga},
};
// clang-format on

} // namespace

const file_kind *kind_of(const first_bytes &file, sureness at_least, bool *sure)
{
    const kind_row *best = nullptr;
    match best_match = match::no;
    for (const auto &row : rows) {
        if (file.length < row.at + row.length || memcmp(file.start + row.at, row.magic, row.length) != 0)
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

const file_kind *kind_by_ending(const char *ending)
{
    for (const auto &row : rows)
        if (is_one_of(ending, row.kind.endings))
            return &row.kind;
    return nullptr;
}
