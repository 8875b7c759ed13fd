#include "IconImage.h"

#include "PackageIcon.h"
#include "ScaledPng.h"
#include "formats/Formats.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <csetjmp>
#include <png.h>

namespace {

void AppendToPng(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

// Kept apart from anything with a destructor: libpng reports errors with longjmp.
bool WritePng(const QImage &image, bool alpha, QByteArray &out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, AppendToPng, nullptr);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool PixelBudget::take(qint64 pixels)
{
    if (pixels > left) {
        refused = true;
        return false;
    }
    left -= pixels;
    return true;
}

QImage DecodeIcon(const QByteArray &encoded, PixelBudget &budget, int side)
{
    const char *format = BitmapFormat(encoded);
    if (!*format)
        return {};
    QBuffer source;
    source.setData(encoded);
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    // The header alone decides what decoding it may cost.
    const QSize size = reader.size();
    if (size.isEmpty() || !budget.take(qint64(size.width()) * size.height()))
        return {};
    if (size.width() <= MaxIconSide && size.height() <= MaxIconSide)
        return reader.read();
    const int fitted = qBound(1, side, MaxIconSide);
    const QSize scaled = size.scaled(fitted, fitted, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // Qt's PNG and WebP readers decode the whole image before they scale; its JPEG reader
    // decodes scaled.
    if (qstrcmp(format, "png") == 0)
        return DecodeScaledPng(encoded, scaled);
    // libwebp, in the formats module, decodes a WebP scaled; without the module Qt's reader still
    // draws it, whole first, within the same budget.
    if (qstrcmp(format, "webp") == 0) {
        const FormatReading<QImage> webp = ReadScaledWebp(encoded, scaled);
        if (!webp.unavailable.failed())
            return webp.value.value_or(QImage());
    }
    reader.setScaledSize(scaled);
    return reader.read();
}

QByteArray EncodePng(const QImage &source)
{
    if (source.isNull())
        return {};
    QImage image = source;
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace::SRgb)
        image.convertToColorSpace(QColorSpace::SRgb);
    const bool alpha = image.hasAlphaChannel();
    image.convertTo(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QByteArray png;
    return WritePng(image, alpha, png) ? png : QByteArray();
}
