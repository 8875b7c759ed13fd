#pragma once

#include <QByteArray>
#include <QColor>
#include <variant>

class PixelBudget;

// One layer of an adaptive icon: nothing, a colour, or an encoded bitmap.
using IconLayer = std::variant<std::monostate, QColor, QByteArray>;

// Draws `background` and then `foreground` over the full 108 dp of an adaptive icon and keeps
// the 72 dp a launcher shows, cut to a rounded square; a PNG. Empty when the foreground is
// neither a colour nor a bitmap that decodes as the PNG, WebP or JPEG its bytes say it is; the
// background is decoded only once the foreground is. Bitmaps are decoded from `budget`.
QByteArray ComposeAdaptiveIcon(const IconLayer &background, const IconLayer &foreground,
                               PixelBudget &budget);
