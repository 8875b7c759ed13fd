// The file manager's thumbnailer run as a program on packages built at test time: the PNG it
// writes, its size and colours, and no file at all when there is no icon to show; also copied
// into a folder of its own, where the formats module is missing or no module at all.
#include "HostilePackages.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <zlib.h>

namespace {

// Red on the left, blue on the right; wider than tall, so the aspect shows. 144×96 pixels, or
// `times` that many a side.
QImage TwoTone(int times = 1)
{
    QImage image(144 * times, 96 * times, QImage::Format_RGB888);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, image.width() / 2, image.height(), Qt::red);
    return image;
}

QByteArray Encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray TwoToneIcon(const char *format)
{
    return Encoded(TwoTone(), format);
}

QByteArray BigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

// `image` (RGB888) as an Adam7-interlaced PNG, which Qt's writer does not make: seven passes,
// each a smaller image of every so many pixels.
QByteArray InterlacedPng(const QImage &image)
{
    const auto chunk = [](const char *type, const QByteArray &data) {
        const QByteArray typed = type + data;
        return BigEndian(quint32(data.size())) + typed +
               BigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()),
                                       uInt(typed.size()))));
    };
    // Each pass's first column and row, and its steps across and down.
    static const int Passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    QByteArray scanlines;
    for (const auto &[column, row, across, down] : Passes) {
        if (column >= image.width())
            continue;
        for (int y = row; y < image.height(); y += down) {
            scanlines += '\0'; // no filter
            const uchar *line = image.constScanLine(y);
            for (int x = column; x < image.width(); x += across)
                scanlines.append(reinterpret_cast<const char *>(line + 3 * x), 3);
        }
    }
    uLongf size = compressBound(uLong(scanlines.size()));
    QByteArray compressed(qsizetype(size), Qt::Uninitialized);
    compress(reinterpret_cast<Bytef *>(compressed.data()), &size,
             reinterpret_cast<const Bytef *>(scanlines.constData()), uLong(scanlines.size()));
    compressed.resize(qsizetype(size));
    // 8 bits a channel, RGB, deflate, adaptive filters, Adam7.
    const QByteArray header = BigEndian(quint32(image.width())) +
                              BigEndian(quint32(image.height())) +
                              QByteArray("\x08\x02\x00\x00\x01", 5);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", compressed) +
           chunk("IEND", {});
}

PackageContents WithIcon(const QString &resource, const QByteArray &bytes)
{
    PackageContents contents;
    contents.icon = QStringLiteral("@mipmap/ic_launcher");
    contents.resources = {{resource, bytes}};
    return contents;
}

// An icon of `bytes` in `extension`'s format, put in place once aapt has packaged a small one of
// that name, so that aapt does not re-encode a large image.
PackageContents WithLargeIcon(const QByteArray &bytes, const QString &extension)
{
    PackageContents contents = WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.") + extension,
                                        TwoToneIcon(extension.toUpper().toLatin1().constData()));
    contents.storedEntries = {
        {QStringLiteral("res/mipmap-xhdpi-v4/ic_launcher.") + extension, bytes}};
    return contents;
}

// An adaptive icon whose foreground is `foreground` (a PNG), over a background of colour.
PackageContents WithAdaptiveIcon(const QByteArray &foreground)
{
    PackageContents contents;
    contents.icon = QStringLiteral("@mipmap/ic_launcher");
    contents.resources = {
        {QStringLiteral("mipmap-anydpi-v26/ic_launcher.xml"),
         "<adaptive-icon xmlns:android='http://schemas.android.com/apk/res/android'>"
         "<background android:drawable='@color/back'/>"
         "<foreground android:drawable='@drawable/front'/></adaptive-icon>"},
        {QStringLiteral("values/colors.xml"),
         "<resources><color name='back'>#00ff00</color></resources>"},
        {QStringLiteral("drawable-nodpi/front.png"), TwoToneIcon("PNG")}};
    contents.storedEntries = {{QStringLiteral("res/drawable-nodpi-v4/front.png"), foreground}};
    return contents;
}

// A table the tool cannot read, so the icon is found through the table alone: behind four
// levels of aliases in `configurations` configurations each.
PackageContents CompactAliasedIcon(int configurations)
{
    PackageContents contents;
    contents.icon = QStringLiteral("@drawable/l0");
    contents.resources = AliasedIcon(4, configurations, QStringLiteral("drawable-xhdpi/leaf.png"),
                                     TwoToneIcon("PNG"));
    contents.compactTable = true;
    return contents;
}

// Where the thumbnailer runs from: the build's folder, or a copy beside the tool alone or beside
// a file that only has the module's name.
enum Beside
{
    TheModule,
    NoModule,
    JunkModule
};

} // namespace

class ThumbnailerTest : public QObject
{
    Q_OBJECT

private slots:
    void thumbnail_data();
    void thumbnail();

private:
    // The thumbnailer copied into a folder of its own, beside a link to the tool.
    QString copied(Beside beside)
    {
        const QDir folder(directory.filePath(QStringLiteral("alone-%1").arg(beside)));
        const QString program = folder.filePath(QStringLiteral("pelmora-thumbnailer"));
        if (!folder.exists() &&
            !(folder.mkpath(QStringLiteral(".")) &&
              QFile::copy(QStringLiteral(THUMBNAILER), program) &&
              QFile::link(QStringLiteral(SYSTEM_AAPT), folder.filePath(QStringLiteral("aapt"))) &&
              (beside != JunkModule ||
               WriteFile(folder.filePath(QStringLiteral("libpelmora_formats.so")),
                         QByteArray(4096, '\x7f')))))
            return {};
        return program;
    }
    QString build(const char *name, const PackageContents &contents)
    {
        return BuildTestPackage(directory.path(), QString::fromLatin1(name),
                                {QStringLiteral("org.example.thumbnail"), QStringLiteral("1.0"),
                                 QStringLiteral("Thumbnail")},
                                contents);
    }
    QTemporaryDir directory;
};

void ThumbnailerTest::thumbnail_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QSize>("written");     // none: non-zero exit and no file
    QTest::addColumn<bool>("outputIsLink"); // OUTPUT a symbolic link to a file of ours
    QTest::addColumn<int>("beside");        // Beside
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<bool>("beingWritten"); // another program mapped it and keeps writing it
    const QString name = QStringLiteral("thumbnail.png");

    const QString png = build(
        "png.apk", WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.png"), TwoToneIcon("PNG")));
    QTest::newRow("shrunk, aspect kept")
        << png << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule) << name << false;
    QTest::newRow("never enlarged") << png << QStringLiteral("256") << QSize(144, 96) << false
                                    << int(TheModule) << name << false;
    QTest::newRow("WebP icon") << build("webp.apk",
                                        WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.webp"),
                                                 TwoToneIcon("WEBP")))
                               << QStringLiteral("96") << QSize(96, 64) << false << int(TheModule)
                               << name << false;
    QTest::newRow("no icon") << build("plain.apk", {}) << QStringLiteral("128") << QSize() << false
                             << int(TheModule) << name << false;
    QTest::newRow("vector icon only")
        << build("vector.apk",
                 WithIcon(QStringLiteral("mipmap/ic_launcher.xml"),
                          "<vector xmlns:android='http://schemas.android.com/apk/res/android' "
                          "android:width='1dp' android:height='1dp' android:viewportWidth='1' "
                          "android:viewportHeight='1'/>"))
        << QStringLiteral("128") << QSize() << false << int(TheModule) << name << false;
    const QString random = directory.filePath(QStringLiteral("random.apk"));
    QFile file(random);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4000, '\x5a')) == 4000);
    QTest::newRow("not a package")
        << random << QStringLiteral("128") << QSize() << false << int(TheModule) << name << false;
    QTest::newRow("size not a number")
        << png << QStringLiteral("large") << QSize() << false << int(TheModule) << name << false;
    const QString written = directory.filePath(QStringLiteral("written.apk"));
    QVERIFY(QFile::copy(png, written));
    QTest::newRow("a package another program mapped before and keeps writing: none")
        << written << QStringLiteral("72") << QSize() << false << int(TheModule) << name << true;
    QTest::newRow("OUTPUT a link: replaced, its target untouched")
        << png << QStringLiteral("72") << QSize(72, 48) << true << int(TheModule) << name << false;
    // As long as a name may be, 255 bytes, less room than the new file beside it would take with
    // OUTPUT's name in its own.
    QTest::newRow("OUTPUT named with 244 bytes")
        << png << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule)
        << QString(240, u'x') + QStringLiteral(".png") << false;
    // A bundle whose index would take far more memory than the thumbnail is worth.
    const QString bundle = directory.filePath(QStringLiteral("hostile.apks"));
    QVERIFY(BuildTestZip(bundle,
                         {{QStringLiteral("toc.pb"), QByteArray("\x0a\x00", 2).repeated(1'000'000)},
                          {QStringLiteral("splits/base-master.apk"), ReadFile(png)}}));
    QTest::newRow("bundle index past its limit")
        << bundle << QStringLiteral("72") << QSize() << false << int(TheModule) << name << false;
    PackageContents compact =
        WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.png"), TwoToneIcon("PNG"));
    compact.compactTable = true;
    const QString compactPackage = build("compact.apk", compact);
    // Icons far larger than any thumbnail, decoded scaled down rather than whole.
    const QImage large = TwoTone(28);
    QTest::newRow("a PNG of 4032×2688 pixels")
        << build("large-png.apk", WithLargeIcon(Encoded(large, "PNG"), QStringLiteral("png")))
        << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule) << name << false;
    QTest::newRow("an interlaced PNG of 4032×2688 pixels")
        << build("interlaced.apk", WithLargeIcon(InterlacedPng(large), QStringLiteral("png")))
        << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule) << name << false;
    const QString largeWebp =
        build("large-webp.apk", WithLargeIcon(Encoded(large, "WEBP"), QStringLiteral("webp")));
    QTest::newRow("a WebP of 4032×2688 pixels")
        << largeWebp << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule) << name
        << false;
    QTest::newRow("a JPEG of 4032×2688 pixels")
        << build("large-jpeg.apk", WithLargeIcon(Encoded(large, "JPEG"), QStringLiteral("jpg")))
        << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule) << name << false;
    QTest::newRow("an adaptive icon whose foreground has 4032×2688 pixels")
        << build("large-layer.apk", WithAdaptiveIcon(Encoded(large, "PNG"))) << QStringLiteral("72")
        << QSize(72, 72) << false << int(TheModule) << name << false;
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    QTest::newRow("a PNG of 400 million pixels: past what one reading may decode, none")
        << build("huge-png.apk", WithLargeIcon(Encoded(huge, "PNG"), QStringLiteral("png")))
        << QStringLiteral("72") << QSize() << false << int(TheModule) << name << false;
    QTest::newRow("compact entries: the icon through Pelmora's own reader")
        << compactPackage << QStringLiteral("72") << QSize(72, 48) << false << int(TheModule)
        << name << false;
    QTest::newRow("4 levels of aliases in 3 configurations")
        << build("aliased.apk", CompactAliasedIcon(3)) << QStringLiteral("72") << QSize(72, 48)
        << false << int(TheModule) << name << false;
    // 29 to the power of 4 lookups: the cap on what one icon may examine is reached.
    QTest::newRow("4 levels of aliases in 29 configurations: past the cap, no icon")
        << build("alias-fan-out.apk", CompactAliasedIcon(29)) << QStringLiteral("72") << QSize()
        << false << int(TheModule) << name << false;
    // Without the formats module a bitmap the tool names is still shown; a package that needs
    // its manifest or its table read gets no icon, and the thumbnailer says why.
    QTest::newRow("no formats module: the tool's bitmap")
        << png << QStringLiteral("72") << QSize(72, 48) << false << int(NoModule) << name << false;
    QTest::newRow("no formats module: a WebP of 4032×2688 pixels, through Qt's reader")
        << largeWebp << QStringLiteral("72") << QSize(72, 48) << false << int(NoModule) << name
        << false;
    QTest::newRow("no formats module: an icon only the table names, none")
        << compactPackage << QStringLiteral("72") << QSize() << false << int(NoModule) << name
        << false;
    QTest::newRow("a file in the module's place that is no library: none")
        << compactPackage << QStringLiteral("72") << QSize() << false << int(JunkModule) << name
        << false;
}

void ThumbnailerTest::thumbnail()
{
    QFETCH(QString, package);
    QFETCH(QString, size);
    QFETCH(QSize, written);
    QFETCH(bool, outputIsLink);
    QFETCH(int, beside);
    QFETCH(QString, outputName);
    QFETCH(bool, beingWritten);
    QVERIFY(!package.isEmpty());
    QProcess writer;
    const auto stopWriter = qScopeGuard([&writer] {
        writer.kill();
        writer.waitForFinished();
    });
    // Any byte will do; the writer puts it back in turn.
    if (beingWritten)
        QVERIFY(StartMappingWriter(writer, {QStringLiteral("hold"), package, QStringLiteral("100"),
                                            QString(QChar::fromLatin1(ReadFile(package).at(100))),
                                            QStringLiteral("x")}));
    const QString program =
        beside == TheModule ? QStringLiteral(THUMBNAILER) : copied(Beside(beside));
    QVERIFY(!program.isEmpty());
    // OUTPUT alone in its folder, so that anything else left there shows.
    QDir outputs(directory.filePath(QStringLiteral("outputs")));
    QVERIFY(outputs.removeRecursively() && outputs.mkpath(QStringLiteral(".")));
    const QString output = outputs.filePath(outputName);
    const QString target = directory.filePath(QStringLiteral("target.txt"));
    if (outputIsLink)
        QVERIFY(WriteFile(target, "kept") && QFile::link(target, output));

    // As the thumbnailer entry's Exec line has it: -s %s %i %o.
    QProcess thumbnailer;
    thumbnailer.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    thumbnailer.start(program, {QStringLiteral("-s"), size, package, output});
    QVERIFY(thumbnailer.waitForFinished(-1));
    QCOMPARE(thumbnailer.exitStatus(), QProcess::NormalExit);
    // The module is loaded only for what needs it, and a module that cannot be loaded is named.
    const QString complaint = QString::fromUtf8(thumbnailer.readAllStandardError());
    QCOMPARE(complaint.contains(QStringLiteral("无法加载 libpelmora_formats.so")),
             beside != TheModule && !written.isValid());
    QCOMPARE(thumbnailer.exitCode() == 0, written.isValid());
    QCOMPARE(QFile::exists(output), written.isValid());
    // Written beside OUTPUT and renamed over it: nothing left over, a link's target untouched.
    QCOMPARE(
        outputs.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QFile::exists(output) ? QStringList{outputName} : QStringList());
    if (outputIsLink)
        QCOMPARE(ReadFile(target), QByteArray("kept"));
    if (!written.isValid())
        return;
    QVERIFY(!QFileInfo(output).isSymLink());
    QCOMPARE(QFile::permissions(output), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ReadUser | QFileDevice::WriteUser);

    QFile png(output);
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QImage image = QImage::fromData(png.readAll(), "PNG");
    QCOMPARE(image.size(), written);
    const QRgb left = image.pixel(image.width() / 4, image.height() / 2);
    const QRgb right = image.pixel(image.width() * 3 / 4, image.height() / 2);
    QVERIFY2(qRed(left) > 200 && qBlue(left) < 60, qPrintable(QString::number(left, 16)));
    QVERIFY2(qBlue(right) > 200 && qRed(right) < 60, qPrintable(QString::number(right, 16)));
}

QTEST_GUILESS_MAIN(ThumbnailerTest)
#include "ThumbnailerTest.moc"
