#include "AdaptiveIconImage.h"

#include "IconImage.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

// Pixels a side of the composed icon: three times the details window's 64.
constexpr int Side = 192;
// The layers are 108 dp a side, of which a launcher shows the middle 72 dp.
constexpr qreal LayerScale = 108.0 / 72.0;
// Launchers' masks vary from squircles to circles; a fifth of the side is a middle course.
constexpr qreal CornerRadius = Side / 5.0;

// Paints `layer` over the whole layer square; false when there is nothing to paint.
bool PaintLayer(QPainter &painter, const IconLayer &layer)
{
    const qreal size = Side * LayerScale;
    const QRectF square((Side - size) / 2, (Side - size) / 2, size, size);
    if (const QColor *colour = std::get_if<QColor>(&layer)) {
        painter.fillRect(square, *colour);
        return true;
    }
    if (const QByteArray *bytes = std::get_if<QByteArray>(&layer)) {
        const QImage image = DecodeIcon(*bytes);
        if (image.isNull())
            return false;
        painter.drawImage(square, image);
        return true;
    }
    return false;
}

} // namespace

QByteArray ComposeAdaptiveIcon(const IconLayer &background, const IconLayer &foreground)
{
    QImage icon(Side, Side, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QPainterPath mask;
        mask.addRoundedRect(QRectF(0, 0, Side, Side), CornerRadius, CornerRadius);
        painter.setClipPath(mask);
        PaintLayer(painter, background);
        if (!PaintLayer(painter, foreground))
            return {};
    }
    return EncodePng(icon);
}
