#include "AdaptiveIconImage.h"

#include "IconImage.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <optional>

namespace {

// Pixels a side of the composed icon: three times the details window's 64.
constexpr int Side = 192;
// The layers are 108 dp a side, of which a launcher shows the middle 72 dp.
constexpr qreal LayerScale = 108.0 / 72.0;
// Launchers' masks vary from squircles to circles; a fifth of the side is a middle course.
constexpr qreal CornerRadius = Side / 5.0;
// Pixels a side of a layer as it is drawn.
constexpr int LayerSide = int(Side * LayerScale);

// A layer ready to paint: a colour, or its bitmap decoded.
using Paint = std::variant<QColor, QImage>;

// Nothing when there is nothing to paint.
std::optional<Paint> Decoded(const IconLayer &layer, PixelBudget &budget)
{
    if (const QColor *colour = std::get_if<QColor>(&layer))
        return *colour;
    if (const QByteArray *bytes = std::get_if<QByteArray>(&layer)) {
        QImage image = DecodeIcon(*bytes, budget, LayerSide);
        if (!image.isNull())
            return image;
    }
    return std::nullopt;
}

// Paints `layer` over the whole layer square.
void PaintLayer(QPainter &painter, const Paint &layer)
{
    const QRectF square((Side - LayerSide) / 2.0, (Side - LayerSide) / 2.0, LayerSide, LayerSide);
    if (const QColor *colour = std::get_if<QColor>(&layer))
        painter.fillRect(square, *colour);
    else
        painter.drawImage(square, std::get<QImage>(layer));
}

} // namespace

QByteArray ComposeAdaptiveIcon(const IconLayer &background, const IconLayer &foreground,
                               PixelBudget &budget)
{
    // The foreground decides whether there is an icon at all, so a background is never decoded
    // for nothing.
    const std::optional<Paint> front = Decoded(foreground, budget);
    if (!front)
        return {};
    const std::optional<Paint> back = Decoded(background, budget);
    QImage icon(Side, Side, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QPainterPath mask;
        mask.addRoundedRect(QRectF(0, 0, Side, Side), CornerRadius, CornerRadius);
        painter.setClipPath(mask);
        if (back)
            PaintLayer(painter, *back);
        PaintLayer(painter, *front);
    }
    return EncodePng(icon);
}
