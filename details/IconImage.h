#pragma once

#include <QByteArray>
#include <QImage>

// Icon images read and written without Qt's image plugins: asked to guess a format, Qt hands
// the package's bytes to every decoder installed (TIFF, MNG, ...), and its writer loads every
// plugin even for a PNG, which costs a thumbnail more than all its own work.

// `encoded` decoded as the format its first bytes name (PNG, WebP or JPEG, BitmapFormat) and
// as no other; a null image when they name none or it does not decode.
QImage DecodeIcon(const QByteArray &encoded);

// `image` as a PNG written by libpng: 8 bits a channel, RGBA when it has an alpha channel, else
// RGB, in sRGB, since no colour profile is written. Empty for a null image.
QByteArray EncodePng(const QImage &image);
