#include "ThumbnailImage.h"

#include "details/PackageIcon.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

QByteArray ThumbnailPng(const QByteArray &encoded, int size)
{
    // Qt refuses images that would take more than its allocation limit, so an icon
    // declaring huge dimensions is turned down rather than allocated.
    const char *format = BitmapFormat(encoded);
    if (!*format || size < 1)
        return {};
    QBuffer source;
    source.setData(encoded);
    // Kept to the format the signature names, so no other decoder installed (TIFF, MNG, ...)
    // ever reads the package's bytes to guess.
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? png : QByteArray();
}
