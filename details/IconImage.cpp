#include "IconImage.h"

#include "PackageIcon.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

QImage DecodeIcon(const QByteArray &encoded)
{
    const char *format = BitmapFormat(encoded);
    if (!*format)
        return {};
    QBuffer source;
    source.setData(encoded);
    QImageReader reader(&source, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QByteArray EncodePng(const QImage &image)
{
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return QImageWriter(&buffer, "png").write(image) ? png : QByteArray();
}
