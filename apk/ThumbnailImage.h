#pragma once

#include <QByteArray>

// `encoded` (a PNG, WebP or JPEG image) as a PNG no wider and no taller than `size` pixels, nor
// than MaxIconSide, shrunk with its aspect kept and never enlarged. Empty when it does not
// decode within one PixelBudget.
QByteArray ThumbnailPng(const QByteArray &encoded, int size);
