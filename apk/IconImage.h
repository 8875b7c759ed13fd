#pragma once

#include <QByteArray>
#include <QImage>

// Icon images read and written without Qt's image plugins: asked to guess a format, Qt hands
// the package's bytes to every decoder installed (TIFF, MNG, ...), and its writer loads every
// plugin even for a PNG, which costs a thumbnail more than all its own work.

// The largest side an icon is decoded at: file managers ask thumbnailers for up to 1024 pixels
// (freedesktop.org's xx-large), the details window shows 64, an adaptive icon is drawn at 192.
constexpr int MaxIconSide = 1024;

// The pixels, as images declare them, that one reading may decode over all its attempts (every
// configuration of an adaptive icon, each with two layers): images are scaled down as they are
// decoded, but each pixel still costs its time, and a file of a few kilobytes can declare
// billions of them.
class PixelBudget
{
public:
    // Two layers of 5790×5790 pixels, 128 MiB each decoded whole, fit; decoding that many takes
    // a few tenths of a second. Real icons have thousands of times fewer.
    static constexpr qint64 MaxPixels = qint64(64) << 20;

    // Takes `pixels`; false, and exhausted from then on, when fewer are left.
    bool take(qint64 pixels);
    // Whether a decoding was refused for want of it.
    bool exhausted() const { return refused; }

private:
    qint64 left = MaxPixels;
    bool refused = false;
};

// `encoded` decoded as the format its first bytes name (PNG, WebP or JPEG, BitmapFormat) and
// as no other. An image larger than MaxIconSide a side is scaled down as it is decoded, aspect
// kept, to fit `side` (at most MaxIconSide), the most its caller shows. The pixels its header
// declares are drawn from `budget` first. A null image when they name no format, it does not
// decode or the budget cannot pay for it.
QImage DecodeIcon(const QByteArray &encoded, PixelBudget &budget, int side = MaxIconSide);

// `image` as a PNG written by libpng: 8 bits a channel, RGBA when it has an alpha channel, else
// RGB, in sRGB, since no colour profile is written. Empty for a null image.
QByteArray EncodePng(const QImage &image);
