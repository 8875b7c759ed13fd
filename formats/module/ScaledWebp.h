#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// `webp` decoded by libwebp straight into an image of `size`, scaled as it is decoded, so that
// the image at its own size is never held: Qt's reader decodes it whole first. A still image
// only; a null image when it does not decode.
QImage DecodeScaledWebp(const QByteArray &webp, QSize size);
