#include "ThumbnailImage.h"

#include "details/IconImage.h"

QByteArray ThumbnailPng(const QByteArray &encoded, int size)
{
    // Qt refuses images that would take more than its allocation limit, so an icon
    // declaring huge dimensions is turned down rather than allocated.
    QImage image = size >= 1 ? DecodeIcon(encoded) : QImage();
    if (image.isNull())
        return {};
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return EncodePng(image);
}
