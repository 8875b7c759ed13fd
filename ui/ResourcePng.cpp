#include "ResourcePng.h"

#include <QImageReader>

QPixmap ResourcePng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
