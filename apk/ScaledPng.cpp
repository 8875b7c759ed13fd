#include "ScaledPng.h"

#include <QColorSpace>
#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <vector>

namespace {

struct MemoryInput
{
    const png_byte *data = nullptr;
    png_size_t size = 0;
    png_size_t at = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto *input = static_cast<MemoryInput *>(png_get_io_ptr(png));
    if (length > input->size - input->at)
        png_error(png, "truncated");
    std::memcpy(out, input->data + input->at, length);
    input->at += length;
}

// A damaged icon is no news worth printing.
void Fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

struct PngHeader
{
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int passes = 1; // 7 for an interlaced image
    bool alpha = false;
};

// Reads the header and sets libpng to hand out rows of 8-bit RGBA. libpng reports errors with
// longjmp, so neither this nor ReadRows keeps anything with a destructor.
bool ReadHeader(png_structp png, png_infop info, PngHeader &header)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &header.width, &header.height, &depth, &colourType, &interlace, nullptr,
                 nullptr);
    header.alpha =
        (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    header.passes = interlace == PNG_INTERLACE_ADAM7 ? 7 : 1;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    // Without interlace handling libpng hands out each pass as an image of its own, so no
    // pass has to be kept for the next.
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == png_size_t(header.width) * 4;
}

// Which cell of the scaled image each source row or column falls in, and how many fall in each.
struct Cells
{
    std::vector<quint32> of;
    std::vector<quint32> count;
};

Cells Spread(png_uint_32 length, int cells)
{
    Cells spread{std::vector<quint32>(length), std::vector<quint32>(std::size_t(cells))};
    for (png_uint_32 i = 0; i < length; ++i) {
        spread.of[i] = quint32(quint64(i) * quint64(cells) / length);
        ++spread.count[spread.of[i]];
    }
    return spread;
}

// Adds the `width` pixels of `row`, the i-th at source column `column(i)`, to the four sums of
// their cells in `line`: each colour weighted by the pixel's alpha, and the alpha.
template <typename Column>
void AddRow(png_const_bytep row, png_uint_32 width, const Cells &columns, Column column,
            quint64 *line)
{
    for (png_uint_32 x = 0; x < width; ++x) {
        quint64 *cell = line + std::size_t(columns.of[column(x)]) * 4;
        const png_const_bytep pixel = row + std::size_t(x) * 4;
        const quint32 alpha = pixel[3];
        cell[0] += pixel[0] * alpha;
        cell[1] += pixel[1] * alpha;
        cell[2] += pixel[2] * alpha;
        cell[3] += alpha;
    }
}

// Row `y` of the scaled image from the sums of its cells: their averages, premultiplied.
void WriteRow(QImage &image, int y, const quint64 *line, const Cells &columns, quint32 rows)
{
    uchar *out = image.scanLine(y);
    for (int x = 0; x < image.width(); ++x) {
        const quint64 count = quint64(columns.count[std::size_t(x)]) * rows;
        const quint64 *cell = line + std::size_t(x) * 4;
        for (int channel = 0; channel < 3; ++channel)
            out[x * 4 + channel] = uchar((cell[channel] + count * 255 / 2) / (count * 255));
        out[x * 4 + 3] = uchar((cell[3] + count / 2) / count);
    }
}

// Reads every row into `image`. Rows come in order, so one scaled row is summed at a time in
// `sums`; but each pass of an interlaced image runs over all of it, and then `sums` holds every
// scaled row.
bool ReadRows(png_structp png, const PngHeader &header, png_bytep row, const Cells &columns,
              const Cells &rows, quint64 *sums, QImage &image)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const std::size_t lineSize = std::size_t(image.width()) * 4;
    if (header.passes == 1) {
        quint32 current = 0;
        for (png_uint_32 y = 0; y < header.height; ++y) {
            png_read_row(png, row, nullptr);
            if (rows.of[y] != current) {
                WriteRow(image, int(current), sums, columns, rows.count[current]);
                std::fill(sums, sums + lineSize, 0);
                current = rows.of[y];
            }
            AddRow(
                row, header.width, columns, [](png_uint_32 x) { return x; }, sums);
        }
        WriteRow(image, int(current), sums, columns, rows.count[current]);
        return true;
    }
    for (int pass = 0; pass < header.passes; ++pass) {
        const png_uint_32 width = PNG_PASS_COLS(header.width, pass);
        const png_uint_32 height = PNG_PASS_ROWS(header.height, pass);
        // libpng skips the passes that hold no pixel.
        if (width == 0 || height == 0)
            continue;
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, row, nullptr);
            AddRow(
                row, width, columns,
                [pass](png_uint_32 x) { return PNG_COL_FROM_PASS_COL(x, pass); },
                sums + rows.of[PNG_ROW_FROM_PASS_ROW(y, pass)] * lineSize);
        }
    }
    for (int y = 0; y < image.height(); ++y)
        WriteRow(image, y, sums + std::size_t(y) * lineSize, columns, rows.count[std::size_t(y)]);
    return true;
}

// As Qt's reader takes it: an ICC profile, else sRGB, else a gamma over sRGB's primaries.
QColorSpace ColourSpace(png_structp png, png_infop info)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile)
        return QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length)));
    if (png_get_valid(png, info, PNG_INFO_sRGB))
        return QColorSpace::SRgb;
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma) && gamma > 0)
        return QColorSpace(QColorSpace::Primaries::SRgb, float(1 / gamma));
    return {};
}

} // namespace

QImage DecodeScaledPng(const QByteArray &bytes, QSize size)
{
    if (size.isEmpty())
        return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return {};
    }
    MemoryInput input{reinterpret_cast<const png_byte *>(bytes.constData()),
                      png_size_t(bytes.size())};
    png_set_read_fn(png, &input, ReadFromMemory);
    QImage image;
    PngHeader header;
    // Only ever smaller: a cell without a pixel would have no colour.
    if (ReadHeader(png, info, header) && quint64(size.width()) <= header.width &&
        quint64(size.height()) <= header.height) {
        const Cells columns = Spread(header.width, size.width());
        const Cells rows = Spread(header.height, size.height());
        std::vector<png_byte> row(std::size_t(header.width) * 4);
        const std::size_t lines = header.passes > 1 ? std::size_t(size.height()) : 1;
        std::vector<quint64> sums(std::size_t(size.width()) * 4 * lines);
        image = QImage(size, header.alpha ? QImage::Format_RGBA8888_Premultiplied
                                          : QImage::Format_RGBX8888);
        if (!image.isNull() && ReadRows(png, header, row.data(), columns, rows, sums.data(), image))
            image.setColorSpace(ColourSpace(png, info));
        else
            image = QImage();
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}
