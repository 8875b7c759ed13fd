// Draws icon 128: a parcel under a magnifying glass on a green tile, 247 x 247, 32 bits.
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QImage icon(247, 247, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);

    // The tile, in the green that people know from Android.
    QLinearGradient tile(0, 6, 0, 241);
    tile.setColorAt(0, QColor(0x4c, 0xe0, 0x8f));
    tile.setColorAt(1, QColor(0x17, 0x8f, 0x52));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(6, 6, 235, 235), 46, 46);

    // The parcel: a box with its lid and a strip of tape.
    const QColor ink(0x0b, 0x3d, 0x2a);
    p.setPen(QPen(ink, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xff, 0xf8, 0xe7));
    p.drawRoundedRect(QRectF(40, 78, 118, 112), 10, 10);
    p.setBrush(QColor(0xf2, 0xe3, 0xbd));
    p.drawRoundedRect(QRectF(32, 56, 134, 30), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3d, 0xdc, 0x84));
    p.drawRect(QRectF(88, 60, 22, 22));
    p.drawRect(QRectF(88, 82, 22, 104));

    // The magnifying glass over its corner.
    p.setPen(QPen(ink, 20, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(193, 193), QPointF(220, 220));
    p.setPen(QPen(ink, 11));
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QPointF(160, 160), 44, 44);
    p.setPen(QPen(QColor(255, 255, 255, 230), 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(130, 130, 60, 60), 100 * 16, 70 * 16);
    p.end();

    return icon.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
