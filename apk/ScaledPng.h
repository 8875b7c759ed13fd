#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// `png` decoded row by row with libpng straight into an image of `size` (smaller than its own),
// each pixel the average of the pixels it covers, so that only that image and one row are ever
// held: a PNG of 5790×5790 pixels is 128 MiB decoded whole. Interlaced images are read pass by
// pass the same way. The colour profile, sRGB or gamma chunk is kept as the image's colour
// space, as Qt's reader keeps it. A null image when it does not decode.
QImage DecodeScaledPng(const QByteArray &png, QSize size);
