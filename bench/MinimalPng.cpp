// The thumbnail baseline: the least a thumbnail costs once its icon is found. A Qt
// program that decodes the PNG at its first argument, fits it into SIZE pixels and writes it as a
// PNG to its second. Usage: minimal_png INPUT OUTPUT SIZE
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

int main(int argc, char *argv[])
{
    if (argc != 4)
        return 2;
    QCoreApplication application(argc, argv);
    QImageReader reader(QString::fromLocal8Bit(argv[1]), "png");
    QImage image = reader.read();
    const int size = QByteArray(argv[3]).toInt();
    if (image.isNull() || size < 1)
        return 1;
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
