#pragma once

#include <QByteArray>
#include <QImage>

// Icon images read without Qt's image plugins guessing: guessing has every plugin installed
// loaded (TIFF, MNG, ...) and handed the package's bytes.

// `encoded` decoded as the format its first bytes name (PNG, WebP or JPEG, BitmapFormat) and
// as no other; a null image when they name none or it does not decode.
QImage DecodeIcon(const QByteArray &encoded);

// `image` as a PNG; empty for a null image.
QByteArray EncodePng(const QImage &image);
