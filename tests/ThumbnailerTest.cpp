// The file manager's thumbnailer run as a program on packages built at test time: the PNG it
// writes, its size and colours, and no file at all when there is no icon to show.
#include "HostilePackages.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Red on the left, blue on the right; wider than tall, so the aspect shows.
QByteArray TwoToneIcon(const char *format)
{
    QImage image(144, 96, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width() / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

PackageContents WithIcon(const QString &resource, const QByteArray &bytes)
{
    PackageContents contents;
    contents.icon = QStringLiteral("@mipmap/ic_launcher");
    contents.resources = {{resource, bytes}};
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

} // namespace

class ThumbnailerTest : public QObject
{
    Q_OBJECT

private slots:
    void thumbnail_data();
    void thumbnail();

private:
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

    const QString png = build(
        "png.apk", WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.png"), TwoToneIcon("PNG")));
    QTest::newRow("shrunk, aspect kept") << png << QStringLiteral("72") << QSize(72, 48) << false;
    QTest::newRow("never enlarged") << png << QStringLiteral("256") << QSize(144, 96) << false;
    QTest::newRow("WebP icon") << build("webp.apk",
                                        WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.webp"),
                                                 TwoToneIcon("WEBP")))
                               << QStringLiteral("96") << QSize(96, 64) << false;
    QTest::newRow("no icon") << build("plain.apk", {}) << QStringLiteral("128") << QSize() << false;
    QTest::newRow("vector icon only")
        << build("vector.apk",
                 WithIcon(QStringLiteral("mipmap/ic_launcher.xml"),
                          "<vector xmlns:android='http://schemas.android.com/apk/res/android' "
                          "android:width='1dp' android:height='1dp' android:viewportWidth='1' "
                          "android:viewportHeight='1'/>"))
        << QStringLiteral("128") << QSize() << false;
    const QString random = directory.filePath(QStringLiteral("random.apk"));
    QFile file(random);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4000, '\x5a')) == 4000);
    QTest::newRow("not a package") << random << QStringLiteral("128") << QSize() << false;
    QTest::newRow("size not a number") << png << QStringLiteral("large") << QSize() << false;
    QTest::newRow("OUTPUT a link: replaced, its target untouched")
        << png << QStringLiteral("72") << QSize(72, 48) << true;
    // A bundle whose index would take far more memory than the thumbnail is worth.
    const QString bundle = directory.filePath(QStringLiteral("hostile.apks"));
    QVERIFY(BuildTestZip(bundle,
                         {{QStringLiteral("toc.pb"), QByteArray("\x0a\x00", 2).repeated(1'000'000)},
                          {QStringLiteral("splits/base-master.apk"), ReadFile(png)}}));
    QTest::newRow("bundle index past its limit")
        << bundle << QStringLiteral("72") << QSize() << false;
    PackageContents compact =
        WithIcon(QStringLiteral("mipmap-xhdpi/ic_launcher.png"), TwoToneIcon("PNG"));
    compact.compactTable = true;
    QTest::newRow("compact entries: the icon through Pelmora's own reader")
        << build("compact.apk", compact) << QStringLiteral("72") << QSize(72, 48) << false;
    QTest::newRow("4 levels of aliases in 3 configurations")
        << build("aliased.apk", CompactAliasedIcon(3)) << QStringLiteral("72") << QSize(72, 48)
        << false;
    // 29 to the power of 4 lookups: the cap on what one icon may examine is reached.
    QTest::newRow("4 levels of aliases in 29 configurations: past the cap, no icon")
        << build("alias-fan-out.apk", CompactAliasedIcon(29)) << QStringLiteral("72") << QSize()
        << false;
}

void ThumbnailerTest::thumbnail()
{
    QFETCH(QString, package);
    QFETCH(QString, size);
    QFETCH(QSize, written);
    QFETCH(bool, outputIsLink);
    QVERIFY(!package.isEmpty());
    const QString output = directory.filePath(QStringLiteral("thumbnail.png"));
    const QString target = directory.filePath(QStringLiteral("target.txt"));
    QFile::remove(output);
    if (outputIsLink)
        QVERIFY(WriteFile(target, "kept") && QFile::link(target, output));

    // As the thumbnailer entry's Exec line has it: -s %s %i %o.
    QProcess thumbnailer;
    thumbnailer.setProcessChannelMode(QProcess::ForwardedChannels);
    thumbnailer.start(QStringLiteral(THUMBNAILER), {QStringLiteral("-s"), size, package, output});
    QVERIFY(thumbnailer.waitForFinished(-1));
    QCOMPARE(thumbnailer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(thumbnailer.exitCode() == 0, written.isValid());
    QCOMPARE(QFile::exists(output), written.isValid());
    // Written beside OUTPUT and renamed over it: nothing left over, a link's target untouched.
    QCOMPARE(QDir(directory.path()).entryList({QStringLiteral("thumbnail.png?*")}), QStringList());
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
