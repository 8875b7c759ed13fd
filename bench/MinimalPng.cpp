// The thumbnail baseline: the smallest Qt program that writes a 1x1 PNG to its argument.
#include <QCoreApplication>
#include <QImage>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return argc > 1 && image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
