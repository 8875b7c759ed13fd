#pragma once

#include <QByteArray>

// `encoded` (a PNG, WebP or JPEG image) as a PNG no wider and no taller than `size` pixels,
// shrunk with its aspect kept and never enlarged. Empty when it does not decode.
QByteArray ThumbnailPng(const QByteArray &encoded, int size);
