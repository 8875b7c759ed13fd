#include "ThumbnailImage.h"

#include "IconImage.h"

QByteArray ThumbnailPng(const QByteArray &encoded, int size)
{
    PixelBudget pixels;
    QImage image = size >= 1 ? DecodeIcon(encoded, pixels, size) : QImage();
    if (image.isNull())
        return {};
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return EncodePng(image);
}
