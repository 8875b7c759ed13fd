// The details window: the tool's facts from captured real output, the digests against the
// coreutils, a file changed after its inspection, and the window offscreen on real packages.
#include "DropEvents.h"
#include "HostilePackages.h"
#include "TestSupport.h"
#include "apk/DexFiles.h"
#include "apk/DownloadEstimate.h"
#include "apk/PermissionDefinitions.h"
#include "apk/PlayTargetSdk.h"
#include "archive/ZipArchive.h"
#include "details/FailureText.h"
#include "details/FileSizeText.h"
#include "details/PackageDetails.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "ui/CompareDlg.h"
#include "ui/DetailsDlg.h"
#include "ui/PelmoraDlg.h"
#include "ui/SignerCheck.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <sys/stat.h>

namespace {

using Texts = QStringList;

// What happens to the file after its inspection.
enum Change
{
    None,
    Rewrite,
    OpenForWriting, // by another program, which maps it and could write it without a trace
    Remove,
    Fifo
};

// The first word a program prints: the digest from md5sum and its kin.
QByteArray FirstWord(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    return tool.readAllStandardOutput().split(' ').first();
}

QByteArray Image(int side, const char *format)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Two labels, an apostrophe and escaped quotes, SDK levels, permissions (one twice, one with
// maxSdkVersion, one for API 23 up), native libraries, the icon in four densities.
const TestPackage Detailed{QStringLiteral("org.example.details"), QStringLiteral("2.5 'beta'"),
                           QStringLiteral("Tom\\'s \\\"App\\\"")};
PackageContents DetailedContents()
{
    return {
        QStringLiteral("汤姆的应用"),
        QStringLiteral("<uses-sdk android:minSdkVersion='21' android:targetSdkVersion='29'/>"
                       "<uses-permission android:name='android.permission.INTERNET'/>"
                       "<uses-permission android:name='android.permission.BLUETOOTH' "
                       "android:maxSdkVersion='30'/>"
                       "<uses-permission android:name='android.permission.INTERNET'/>"
                       "<uses-permission-sdk-23 android:name='android.permission.READ_CONTACTS'/>"),
        QStringLiteral("@mipmap/ic_launcher"),
        {{QStringLiteral("mipmap-mdpi/ic_launcher.png"), Image(48, "PNG")},
         {QStringLiteral("mipmap-hdpi/ic_launcher.jpg"), Image(72, "JPEG")},
         {QStringLiteral("mipmap-xhdpi/ic_launcher.webp"), Image(96, "WEBP")},
         {QStringLiteral("mipmap-xxhdpi/ic_launcher.png"), Image(144, "PNG")}},
        {{QStringLiteral("lib/armeabi-v7a/libx.so"), "x"},
         {QStringLiteral("lib/arm64-v8a/libx.so"), "x"}}};
}
// A foreground layer: a red square in the middle of a transparent 108 dp square.
QByteArray Foreground()
{
    QImage image(108, 108, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 36; y < 72; ++y)
        for (int x = 36; x < 72; ++x)
            image.setPixelColor(x, y, Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The launcher icon an adaptive icon: a colour behind a bitmap.
PackageContents AdaptiveContents(bool fallbacks)
{
    PackageContents contents = DetailedContents();
    contents.resources = {
        {QStringLiteral("mipmap-anydpi-v26/ic_launcher.xml"),
         "<adaptive-icon xmlns:android='http://schemas.android.com/apk/res/android'>"
         "<background android:drawable='@color/background'/>"
         "<foreground android:drawable='@drawable/foreground'/></adaptive-icon>"},
        {QStringLiteral("values/colors.xml"),
         "<resources><color name='background'>#3366FF</color></resources>"},
        {QStringLiteral("drawable-xxxhdpi/foreground.png"), Foreground()}};
    if (fallbacks)
        contents.resources +=
            {{QStringLiteral("mipmap-hdpi/ic_launcher.png"), Image(72, "PNG")},
             {QStringLiteral("mipmap-xxhdpi/ic_launcher.webp"), Image(144, "WEBP")}};
    return contents;
}
const QByteArray TopIcon = "res/mipmap-xxhdpi-v4/ic_launcher.png";
// Label, package, version name and code, minimum and target SDK, permissions one a line.
const Texts DetailedFacts = {QStringLiteral("Tom's \"App\" / 汤姆的应用"),
                             Detailed.packageName,
                             QStringLiteral("2.5 'beta'"),
                             QStringLiteral("7"),
                             QStringLiteral("21"),
                             QStringLiteral("29"),
                             QStringLiteral("android.permission.INTERNET\n"
                                            "android.permission.BLUETOOTH (maxSdkVersion 30)\n"
                                            "android.permission.READ_CONTACTS")};
const QByteArray NextIcon = "res/mipmap-xhdpi-v4/ic_launcher.webp";

// An inspection as the main window makes it: what the tool says about `toolSaw` and the MD5.
InspectedPackage Inspect(const QString &path, const QString &toolSaw)
{
    QProcess tool;
    tool.start(QStringLiteral(SYSTEM_AAPT), {QStringLiteral("dump"), QStringLiteral("badging"),
                                             toolSaw.isEmpty() ? path : toolSaw});
    tool.waitForFinished(-1);
    auto file = std::make_shared<const PackageFile>(QFile::encodeName(path));
    QByteArray md5;
    ComputeFileMd5(file->file(), md5);
    return {QFile::encodeName(path), tool.readAllStandardOutput(), md5, {}, {}, file};
}

// What the window test does once the details window is open.
enum Then
{
    Nothing,           // reads it once everything is in
    WatchWhileLoading, // reads it at once, then again once everything is in
    CloseWhileLoading, // closes it at once
    DropOnDetails,     // drops another package on it
    CompareFromMenu,   // compares through the main window's menu instead of opening it
    WatchComparison,   // the same, reading the comparison window at once and once it is in
    CloseComparison,   // the same, closing the comparison window at once
    PasteSigner,       // types a certificate SHA-256 into 预期签名者
    AwaitEstimate,     // reads it once the download estimate is in too
    ReadWarnings       // reads which lines of its lists stand out
};

// Drops `path` onto the main window, answering any message box.
void Drop(CPelmoraDlg &dialog, const QString &path)
{
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(5);
    DropUrls(dialog, {QUrl::fromLocalFile(path)});
}

} // namespace

class DetailsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void facts_data();
    void facts();
    void sizeText_data();
    void sizeText();
    void failureText_data();
    void failureText();
    void digests_data();
    void digests();
    void fileAfterInspection_data();
    void fileAfterInspection();
    void window_data();
    void window();

private:
    QString file(const char *name) const { return directory.filePath(QString::fromUtf8(name)); }
    QTemporaryDir directory;
    QString detailed;
};

void DetailsTest::initTestCase()
{
    detailed = BuildTestPackage(directory.path(), QStringLiteral("detailed.apk"), Detailed,
                                DetailedContents());
    QVERIFY(!detailed.isEmpty());
}

void DetailsTest::facts_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<Texts>("shown"); // label, package, version name and code, SDKs, platforms
    QTest::addColumn<Texts>("permissions"); // the first ones
    QTest::addColumn<int>("permissionCount");
    QTest::addColumn<int>("icons");

    QTest::newRow("built package")
        << QStringLiteral("details-package.txt")
        << Texts{QStringLiteral("Tom's \"App\" / 汤姆的应用"),
                 Detailed.packageName,
                 QStringLiteral("2.5 'beta'"),
                 QStringLiteral("7"),
                 QStringLiteral("21"),
                 QStringLiteral("29"),
                 QStringLiteral("29 (10.0.0)"),
                 QStringLiteral("arm64-v8a"),
                 QStringLiteral("armeabi-v7a")}
        << Texts{QStringLiteral("android.permission.INTERNET"),
                 QStringLiteral("android.permission.BLUETOOTH (maxSdkVersion 30)"),
                 QStringLiteral("android.permission.READ_CONTACTS")}
        << 3 << 4;
    QTest::newRow("framework-res.apk")
        << QStringLiteral("framework-res.txt")
        << Texts{QStringLiteral("Android System / Android 系统"),
                 QStringLiteral("android"),
                 QStringLiteral("10.0.0"),
                 QStringLiteral("29"),
                 QStringLiteral("29"),
                 QStringLiteral("29"),
                 QString()}
        << Texts{QStringLiteral("android.permission.LOCATION_HARDWARE")} << 14 << 8;
}

void DetailsTest::facts()
{
    QFETCH(QString, capture);
    QFETCH(Texts, permissions);
    const PackageFacts facts =
        ReadPackageFacts(ReadFile(QStringLiteral(TEST_DATA_DIR "/") + capture));
    QTEST(Texts({facts.label, facts.packageName, facts.versionName, facts.versionCode, facts.minSdk,
                 facts.targetSdk, facts.compileSdk}) +
              facts.nativePlatforms,
          "shown");
    QCOMPARE(facts.permissions.first(permissions.size()), permissions);
    QTEST(int(facts.permissions.size()), "permissionCount");
    QTEST(int(facts.icons.size()), "icons");
}

void DetailsTest::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("framework-res.apk")
        << qint64(45623301) << QStringLiteral("45,623,301 字节 (43.5 MiB)");
    QTest::newRow("rounds into the next unit")
        << qint64(1048575) << QStringLiteral("1,048,575 字节 (1.0 MiB)");
    QTest::newRow("past 4 GiB") << (qint64(5) << 30)
                                << QStringLiteral("5,368,709,120 字节 (5.0 GiB)");
}

void DetailsTest::sizeText()
{
    QFETCH(qint64, bytes);
    QTEST(FileSizeText(bytes), "text");
}

namespace {

// Whether `code` is one of the list: it has a name or a wording. A code missing from either
// switch is a compiler warning, so the list ends at the first that has neither.
bool Listed(int code)
{
    return *FailureCodeName(FailureCode(code)) != '\0' ||
           !FailureText(Failure(FailureCode(code))).isEmpty();
}

} // namespace

void DetailsTest::failureText_data()
{
    QTest::addColumn<int>("code");
    for (int code = int(FailureCode::None) + 1; Listed(code); ++code)
        QTest::newRow(FailureCodeName(FailureCode(code))) << code;
}

void DetailsTest::failureText()
{
    QFETCH(int, code);
    const FailureCode failureCode = FailureCode(code);
    // A stable name for scripts: lower-case words joined by hyphens, no other code's.
    const QByteArray name = FailureCodeName(failureCode);
    QVERIFY(QRegularExpression(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"))
                .match(QString::fromLatin1(name))
                .hasMatch());
    int named = 0;
    for (int other = int(FailureCode::None) + 1; Listed(other); ++other)
        named += name == FailureCodeName(FailureCode(other)) ? 1 : 0;
    QCOMPARE(named, 1);

    // Filled in one pass: arguments that look like placeholders (an entry named "%1") are shown
    // as they are, where plain ones would be.
    QStringList markers, placeholders;
    for (int i = 1; i <= 9; ++i) {
        markers.append(QChar(char16_t(0xe000 + i)));
        placeholders.append(QStringLiteral("%%1").arg(10 - i));
    }
    const QString marked = FailureText(Failure(failureCode, markers));
    QVERIFY(!marked.isEmpty());
    QString expected = marked;
    for (qsizetype i = 0; i < markers.size(); ++i)
        expected.replace(markers[i], placeholders[i]);
    QCOMPARE(FailureText(Failure(failureCode, placeholders)), expected);

    // A failure it wraps fills the place after its own arguments, its text taken as it is.
    qsizetype taken = 0;
    while (taken < markers.size() && marked.contains(markers[taken]))
        ++taken;
    const QStringList own = markers.first(qMax<qsizetype>(taken - 1, 0));
    const Failure cause(failureCode, placeholders);
    QCOMPARE(FailureText(Failure(failureCode, own, std::make_shared<Failure>(cause))),
             FailureText(Failure(failureCode, own + QStringList{FailureText(cause)})));
}

void DetailsTest::digests_data()
{
    QTest::addColumn<QString>("path");
    QVERIFY(WriteFile(file("empty.bin"), {}));
    QVERIFY(WriteFile(file("odd.bin"), QByteArray(3 * 1024 * 1024 + 17, '\x5a')));
    QTest::newRow("framework-res.apk") << QStringLiteral(FRAMEWORK_RES);
    QTest::newRow("empty file") << file("empty.bin");
    QTest::newRow("three read chunks and 17 bytes") << file("odd.bin");
}

void DetailsTest::digests()
{
    QFETCH(QString, path);
    const SafeFile file(QFile::encodeName(path));
    const auto digests = ComputeFileDigests(file);
    QVERIFY(digests);
    QCOMPARE(digests->md5, FirstWord(QStringLiteral("md5sum"), {path}));
    QCOMPARE(digests->sha1, FirstWord(QStringLiteral("sha1sum"), {path}));
    QCOMPARE(digests->sha256, FirstWord(QStringLiteral("sha256sum"), {path}));
    // The same read with the digests on two threads, as the details window reads.
    FileDigestSinks split;
    QVERIFY(ReadOnce(file, {&split.md5}, {&split.sha1, &split.sha256}));
    const FileDigests shared = split.finish();
    QCOMPARE(shared.md5 + shared.sha1 + shared.sha256,
             digests->md5 + digests->sha1 + digests->sha256);
}

void DetailsTest::fileAfterInspection_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("toolSaw"); // when the tool did not read `path` itself
    QTest::addColumn<int>("change");
    QTest::addColumn<QByteArray>("icon");
    QTest::addColumn<Texts>("facts"); // as DetailedFacts
    const QString itself;
    QTest::newRow("unchanged: the highest density")
        << detailed << itself << int(None) << TopIcon << DetailedFacts;
    QTest::newRow("same length, other bytes")
        << detailed << itself << int(Rewrite) << QByteArray() << DetailedFacts;
    QTest::newRow("opened for writing by another program, nothing written yet")
        << detailed << itself << int(OpenForWriting) << QByteArray() << DetailedFacts;
    QTest::newRow("vanished") << detailed << itself << int(Remove) << QByteArray() << DetailedFacts;
    QTest::newRow("now a FIFO") << detailed << itself << int(Fifo) << QByteArray() << DetailedFacts;

    PackageContents notAnImage = DetailedContents();
    notAnImage.storedEntries.append({QString::fromLatin1(TopIcon), "<svg/>"});
    QTest::newRow("highest density not a bitmap by its bytes")
        << BuildTestPackage(directory.path(), QStringLiteral("svg.apk"), Detailed, notAnImage)
        << itself << int(None) << NextIcon << DetailedFacts;
    PackageContents vector = DetailedContents();
    vector.icon = QStringLiteral("@drawable/v");
    vector.resources = {{QStringLiteral("drawable/v.xml"),
                         "<vector xmlns:android='http://schemas.android.com/apk/res/android' "
                         "android:width='1dp' android:height='1dp' android:viewportWidth='1' "
                         "android:viewportHeight='1'/>"}};
    QTest::newRow("vector icon only")
        << BuildTestPackage(directory.path(), QStringLiteral("vector.apk"), Detailed, vector)
        << itself << int(None) << QByteArray() << DetailedFacts;

    // The tool reads the package behind the other's end record; no reader here may see the
    // other one's entries, so the archive is refused and serves no icon.
    const QString other = BuildTestPackage(
        directory.path(), QStringLiteral("other.apk"),
        {QStringLiteral("org.example.other"), QStringLiteral("1"), QStringLiteral("Other")},
        DetailedContents());
    QVERIFY(
        WriteFile(file("two-views.apk"), WithSecondArchive(ReadFile(other), ReadFile(detailed))));
    QTest::newRow("two end records")
        << file("two-views.apk") << itself << int(None) << QByteArray() << DetailedFacts;
    QTest::newRow("adaptive icon with bitmaps beside it")
        << BuildTestPackage(directory.path(), QStringLiteral("adaptive.apk"), Detailed,
                            AdaptiveContents(true))
        << itself << int(None) << QByteArray("res/mipmap-xxhdpi-v4/ic_launcher.webp")
        << DetailedFacts;
    QTest::newRow("adaptive icon alone: composed from its layers")
        << BuildTestPackage(directory.path(), QStringLiteral("layers.apk"), Detailed,
                            AdaptiveContents(false))
        << itself << int(None) << QByteArray("res/mipmap-anydpi-v26/ic_launcher.xml")
        << DetailedFacts;

    QVERIFY(WriteFile(file("truncated.apk"), ReadFile(detailed).first(1000)));
    QTest::newRow("truncated archive")
        << file("truncated.apk") << detailed << int(None) << QByteArray() << DetailedFacts;

    // Packages of newer toolchains: what the tool does not print comes from the manifest and
    // the resource table.
    QTest::newRow("compact entries (aapt2): the label from the table")
        << CompactEntriesPackage("aapt2-compact-entries") << itself << int(None) << QByteArray()
        << Texts{QStringLiteral("Issue3366"),
                 QStringLiteral("com.ibotpeaches.issue3366"),
                 QString(),
                 QString(),
                 QStringLiteral("34"),
                 QStringLiteral("34"),
                 QString()};
    QTest::newRow("compact entries (Android 15 system app): the label from the table")
        << CompactEntriesPackage("android15-rom-app") << itself << int(None) << QByteArray()
        << Texts{QStringLiteral("CompactEntries"),
                 QStringLiteral("com.ibotpeaches.compactentries"),
                 QStringLiteral("15"),
                 QStringLiteral("35"),
                 QStringLiteral("35"),
                 QStringLiteral("35"),
                 QString()};
    PackageContents refused = RefusedTableContents(QStringLiteral("拒绝"));
    refused.icon = QStringLiteral("@mipmap/ic_launcher");
    refused.resources.append({QStringLiteral("mipmap-xhdpi/ic_launcher.png"), Image(96, "PNG")});
    QTest::newRow("a table the tool refuses: every fact from the manifest, the icon from the table")
        << BuildTestPackage(directory.path(), QStringLiteral("refused.apk"),
                            {QStringLiteral("org.example.refused"), QStringLiteral("5.0"),
                             QStringLiteral("Refused")},
                            refused)
        << itself << int(None) << QByteArray("res/mipmap-xhdpi-v4/ic_launcher.png")
        << Texts{QStringLiteral("Refused / 拒绝"),
                 QStringLiteral("org.example.refused"),
                 QStringLiteral("5.0"),
                 QStringLiteral("7"),
                 QStringLiteral("21"),
                 QStringLiteral("34"),
                 QStringLiteral("android.permission.CAMERA")};
    PackageContents literal;
    literal.literalLabel = true;
    literal.manifestElements =
        QStringLiteral("<uses-sdk android:minSdkVersion='21' android:targetSdkVersion='29'/>");
    QTest::newRow("a label written in the manifest, no resource table")
        << BuildTestPackage(directory.path(), QStringLiteral("literal.apk"),
                            {QStringLiteral("org.example.literal"), QStringLiteral("1.0"),
                             QStringLiteral("字面标签")},
                            literal)
        << itself << int(None) << QByteArray()
        << Texts{QStringLiteral("字面标签"),
                 QStringLiteral("org.example.literal"),
                 QStringLiteral("1.0"),
                 QStringLiteral("7"),
                 QStringLiteral("21"),
                 QStringLiteral("29"),
                 QString()};
}

void DetailsTest::fileAfterInspection()
{
    QFETCH(QString, path);
    QFETCH(QString, toolSaw);
    QFETCH(int, change);
    const QString copy = file("inspected.apk");
    QFile::remove(copy);
    QVERIFY(QFile::copy(path, copy));
    const InspectedPackage inspected = Inspect(copy, toolSaw);
    const QByteArray sha256 = FirstWord(QStringLiteral("sha256sum"), {copy});

    QByteArray bytes = ReadFile(copy);
    bytes[100] = char(~bytes[100]);
    if (change == Rewrite)
        QVERIFY(WriteFile(copy, bytes));
    QProcess writer;
    const auto stopWriter = qScopeGuard([&writer] {
        writer.kill();
        writer.waitForFinished();
    });
    if (change == OpenForWriting)
        QVERIFY(StartMappingWriter(writer, {QStringLiteral("later"), copy}));
    if (change >= Remove)
        QVERIFY(QFile::remove(copy));
    if (change == Fifo)
        QCOMPARE(::mkfifo(inspected.path.constData(), 0600), 0);

    const PackageDetails details = LoadPackageDetails(inspected);
    const PackageFacts &facts = details.facts;
    QTEST((Texts{facts.label, facts.packageName, facts.versionName, facts.versionCode, facts.minSdk,
                 facts.targetSdk, facts.permissions.join(u'\n')}),
          "facts");
    QTEST(details.icon ? details.icon->path : QByteArray(), "icon");
    if (details.icon && details.icon->path.endsWith(".xml")) {
        // The foreground in the middle, the background around it, the corners cut away.
        const QImage composed = QImage::fromData(details.icon->bytes);
        const int side = composed.width();
        QCOMPARE(composed.pixelColor(side / 2, side / 2), QColor(Qt::red));
        QCOMPARE(composed.pixelColor(side / 2, side / 10), QColor(0x33, 0x66, 0xff));
        QCOMPARE(composed.pixelColor(0, 0).alpha(), 0);
    }
    QCOMPARE(PackageSection(details).rows.last().value,
             change > None ? QStringLiteral("文件已更改，请重新打开")
                           : QString::fromLatin1(sha256));
}

void DetailsTest::window_data()
{
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("then");        // what follows once the details window is open
    QTest::addColumn<QString>("other");   // the package compared, or the digest pasted
    QTest::addColumn<QString>("outcome"); // the comparison's first line, or the check's word
    QVERIFY(WriteFile(file("broken.apk"), QByteArray(3000, '\x5a')));
    QVERIFY(WriteFile(file("notes.txt"), "text"));
    QTest::newRow("at start") << QString() << false << int(Nothing) << QString() << QString();
    QTest::newRow("a package") << detailed << true << int(Nothing) << QString() << QString();
    QTest::newRow("a damaged package after it")
        << file("broken.apk") << false << int(Nothing) << QString() << QString();
    QTest::newRow("another type after it")
        << file("notes.txt") << false << int(Nothing) << QString() << QString();
    // The package with 256 MiB of zeros more, a hole in the file: long enough to read that the
    // window is seen before its digests are in.
    const QString large = file("large.apk");
    QFile::remove(large);
    QVERIFY(QFile::copy(detailed, large) && AppendZeroEntry(large, "assets/zeros.bin", 256 << 20));
    QTest::newRow("a large package: what is known at once, a progress bar until the rest is in")
        << large << true << int(WatchWhileLoading) << QString() << QString();
    QTest::newRow("a large package closed while it loads: the reading stops")
        << large << true << int(CloseWhileLoading) << QString() << QString();

    // An older version, signed, of the package shown, and the package itself signed.
    const TestKey key = MakeTestKey(directory.path(), QStringLiteral("details"));
    TestPackage older = Detailed;
    older.versionCode = 6;
    QVERIFY(SignTestPackage(BuildTestPackage(directory.path(), QStringLiteral("older.unsigned"),
                                             older, DetailedContents()),
                            file("older.apk"), key));
    QVERIFY(SignTestPackage(detailed, file("signed.apk"), key));
    const QString downgrade = QStringLiteral("结论: 版本降级（7 → 6）");
    QTest::newRow("a second package dropped on the details window: compared")
        << detailed << true << int(DropOnDetails) << file("older.apk") << downgrade;
    QTest::newRow("a second package chosen through the window menu: compared")
        << detailed << true << int(CompareFromMenu) << file("older.apk") << downgrade;
    // The first line, and all of it, as `pelmora --compare` prints it.
    QTest::newRow("a large package compared: the window at once, under a bar until it is in")
        << detailed << true << int(WatchComparison) << large << QString();
    QTest::newRow("a large package compared, closed while it is read: the reading stops")
        << detailed << true << int(CloseComparison) << large << QString();
    QTest::newRow("the signer's SHA-256 pasted, lower case without colons")
        << file("signed.apk") << true << int(PasteSigner)
        << key.certificateSha256.toLower().remove(u':') << QStringLiteral("符合");
    QTest::newRow("another SHA-256 pasted") << file("signed.apk") << true << int(PasteSigner)
                                            << QString(64, u'A') << QStringLiteral("不符合");

    // Two DEX files Android loads, stored, and a Kotlin module's marker.
    PackageContents coded = DetailedContents();
    const QByteArray firstDex = AssembleDex(directory.path(), QStringLiteral("first"), 26,
                                            {{"First", 3, 4}, {"Second", 0, 1}});
    const QByteArray secondDex =
        AssembleDex(directory.path(), QStringLiteral("second"), 28, {{"Third", 2, 0}});
    QVERIFY(!firstDex.isEmpty() && !secondDex.isEmpty());
    coded.storedEntries += {{QStringLiteral("classes.dex"), firstDex},
                            {QStringLiteral("classes2.dex"), secondDex},
                            {QStringLiteral("META-INF/app_release.kotlin_module"), "k"}};
    QTest::newRow("two DEX files and a framework: code, frameworks, sizes, then the estimate")
        << BuildTestPackage(directory.path(), QStringLiteral("coded.apk"), Detailed, coded) << true
        << int(AwaitEstimate) << QString::number(firstDex.size() + secondDex.size())
        << QStringLiteral("classes.dex: 版本 38，类 2，方法 5，字段 3，字符串 %1\n"
                          "classes2.dex: 版本 39，类 1，方法 0，字段 2，字符串 %2\n");
    // Two components open to every app, one guarded and one private: the open ones stand out,
    // and so does the debuggable build's finding.
    PackageContents exposed = DetailedContents();
    exposed.applicationAttributes = QStringLiteral("android:debuggable='true'");
    exposed.applicationElements =
        QStringLiteral("<activity android:name='.Open' android:exported='true'/>"
                       "<receiver android:name='.Listening'><intent-filter>"
                       "<action android:name='org.example.PING'/></intent-filter></receiver>"
                       "<service android:name='.Guarded' android:exported='true' "
                       "android:permission='org.example.BIND'/>"
                       "<activity android:name='.Private' android:exported='false'/>");
    QTest::newRow("exported components without a permission, a debuggable build: they stand out")
        << BuildTestPackage(directory.path(), QStringLiteral("exposed.apk"), Detailed, exposed)
        << true << int(ReadWarnings) << QStringLiteral(".Open .Listening debuggable")
        << QStringLiteral(".Guarded .Private");
}

void DetailsTest::window()
{
    QFETCH(QString, dropped);
    QFETCH(bool, enabled);
    QFETCH(int, then);
    QFETCH(QString, other);
    QFETCH(QString, outcome);
    CPelmoraDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (!dropped.isEmpty() && !enabled)
        Drop(dialog, detailed);
    if (!dropped.isEmpty())
        Drop(dialog, dropped);
    const QList<QAction *> items = dialog.GetSystemMenu()->actions();
    const auto found = std::find_if(items.begin(), items.end(), [](const QAction *action) {
        return action->text() == QStringLiteral("详细信息(&D)...");
    });
    QVERIFY(found != items.end());
    const QAction *command = *found;
    QCOMPARE(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    QCOMPARE(command->isEnabled(), enabled);

    // A comparison window is read, copied and closed with Esc once it is in: its first line is
    // the verdict; the old package's fields marked as differing are noted. Before: whether it
    // showed its bar and nothing to copy.
    QString compared;
    QStringList marked;
    bool comparisonPending = false;
    qint64 readBeforeClosing = -1;
    QTimer comparer;
    QObject::connect(&comparer, &QTimer::timeout, [&] {
        QWidget *active = QApplication::activeModalWidget();
        if (auto *files = qobject_cast<QFileDialog *>(active)) {
            // Typed, as selectFile() leaves a name field that has the focus as it is.
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(other);
            static_cast<QDialog *>(files)->accept();
        }
        auto *comparison = qobject_cast<CCompareDlg *>(active);
        if (!comparison || !compared.isEmpty())
            return;
        if (!comparison->loaded()) {
            const auto *bar = comparison->findChild<QProgressBar *>();
            comparisonPending =
                comparisonPending || (bar && bar->isVisible() && comparison->copyText().isEmpty());
            if (then == CloseComparison && readBeforeClosing < 0) {
                readBeforeClosing = BytesReadBy(QStringLiteral("self"));
                QTest::keyClick(comparison, Qt::Key_Escape);
            }
            return;
        }
        for (QPushButton *button : comparison->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("复制全部"))
                button->click();
        compared = QApplication::clipboard()->text();
        for (QWidget *field : comparison->findChildren<QWidget *>())
            if (!field->accessibleDescription().isEmpty() &&
                !field->accessibleName().startsWith(QStringLiteral("新包")))
                marked.append(field->accessibleName());
        QTest::keyClick(comparison, Qt::Key_Escape);
    });
    comparer.start(10);
    if (then == CompareFromMenu || then == WatchComparison || then == CloseComparison) {
        dialog.OnSysCommand(CPelmoraDlg::IdmCompare);
        if (then == CloseComparison) {
            // Closed long before the new package was read: its reading stopped.
            QVERIFY(readBeforeClosing >= 0 && compared.isEmpty());
            const qint64 read = BytesReadBy(QStringLiteral("self")) - readBeforeClosing;
            QVERIFY2(read < QFileInfo(other).size() / 2, qPrintable(QString::number(read)));
            return;
        }
        if (then == WatchComparison) {
            QVERIFY(comparisonPending);
            QProcess program;
            program.start(QStringLiteral(PELMORA_PROGRAM),
                          {QStringLiteral("--compare"), dropped, other});
            QVERIFY(program.waitForFinished(-1));
            QCOMPARE(compared, QString::fromUtf8(program.readAllStandardOutput()));
            return;
        }
        QCOMPARE(compared.section(u'\n', 0, 0), outcome);
        return;
    }

    // Ctrl+I in a box; what opens is read, copied, and closed with Esc.
    CDetailsDlg *opened = nullptr;
    QString title, copied, fields, checked;
    QStringList boldLines;       // the lines of its lists drawn as warnings
    QStringList boldPermissions; // the lines of 请求的权限 the window draws as warnings
    QSize icon;
    // At once: the progress bar and its text, and the package name and MD5 fields.
    bool progressAtOnce = false;
    QString progressText, nameAtOnce, md5AtOnce, sizeAtOnce, estimateWhenLoaded;
    int progressSeen = 0;
    qint64 readBefore = 0;
    const auto field = [](QWidget *window, const QString &label) {
        for (auto *line : window->findChildren<QLineEdit *>())
            if (line->accessibleName() == label)
                return line->text();
        return QString();
    };
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *details = qobject_cast<CDetailsDlg *>(QApplication::activeModalWidget());
        if (!details)
            return;
        if (opened && !fields.isEmpty()) {
            // Once the package dropped on it has been compared, the details window closes.
            if (then == DropOnDetails && !compared.isEmpty())
                QTest::keyClick(details, Qt::Key_Escape);
            return;
        }
        auto *progress = details->findChild<QProgressBar *>();
        if (!opened) {
            opened = details;
            readBefore = BytesReadBy(QStringLiteral("self"));
            progressAtOnce = progress && progress->isVisible();
            progressText = progress ? progress->text() : QString();
            nameAtOnce = field(details, QStringLiteral("包名"));
            md5AtOnce = field(details, QStringLiteral("MD5"));
            sizeAtOnce = field(details, QStringLiteral("文件大小"));
            if (then == CloseWhileLoading) {
                QTest::keyClick(details, Qt::Key_Escape);
                return;
            }
        }
        if (progress)
            progressSeen = qMax(progressSeen, progress->value());
        if (!details->loaded())
            return;
        if (estimateWhenLoaded.isNull())
            estimateWhenLoaded = field(details, QStringLiteral("估计下载大小"));
        if (then == AwaitEstimate && !details->estimateShown())
            return;
        title = details->windowTitle();
        for (auto *list : details->findChildren<QPlainTextEdit *>())
            if (list->accessibleName() == QStringLiteral("请求的权限"))
                for (QTextBlock line = list->document()->begin(); line.isValid();
                     line = line.next())
                    if (line.begin() != line.end() &&
                        line.begin().fragment().charFormat().fontWeight() == QFont::Bold)
                        boldPermissions.append(line.text());
        for (QWidget *field : details->findChildren<QWidget *>()) {
            const QString label = field->accessibleName() + QStringLiteral(": ");
            if (auto *line = qobject_cast<QLineEdit *>(field); line && line->isReadOnly())
                fields += label + line->text() + u'\n';
            else if (auto *list = qobject_cast<QPlainTextEdit *>(field);
                     list && list->isReadOnly()) {
                fields += label + list->toPlainText() + u'\n';
                for (QTextBlock block = list->document()->begin(); block.isValid();
                     block = block.next())
                    if (block.begin().fragment().charFormat().fontWeight() == QFont::Bold)
                        boldLines.append(block.text());
            } else if (auto *image = qobject_cast<QLabel *>(field); image && label != u": ")
                icon = image->pixmap().deviceIndependentSize().toSize();
        }
        progressAtOnce = progressAtOnce && progress && !progress->isVisible();
        for (QPushButton *button : details->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("复制全部"))
                button->click();
        copied = QApplication::clipboard()->text();
        if (then == PasteSigner) {
            auto *check = details->findChild<CSignerCheck *>();
            QTest::keyClicks(check->findChild<QLineEdit *>(), other);
            checked = check->verdict();
        }
        if (then == DropOnDetails) {
            // From the event loop: the comparison window runs its own while it is open.
            QTimer::singleShot(0, details, [details, &other] {
                DropUrls(*details, {QUrl::fromLocalFile(other)});
            });
            return;
        }
        // To the window's own focus: the platform may not have moved the focus to it yet.
        QTest::keyClick(details->focusWidget() ? details->focusWidget() : details, Qt::Key_Escape);
    });
    watcher.start(10);
    QTest::keyClick(dialog.GetDlgItem(CPelmoraDlg::PackageBox), Qt::Key_I, Qt::ControlModifier);
    const qint64 readAfter = BytesReadBy(QStringLiteral("self"));
    QTest::qWait(50);
    QCOMPARE(opened != nullptr, enabled);
    QVERIFY(dialog.isVisible()); // Esc closed the details window only
    if (!enabled)
        return;
    if (then == PasteSigner) {
        QCOMPARE(checked, outcome);
        return;
    }
    if (then == DropOnDetails) {
        QCOMPARE(compared.section(u'\n', 0, 0), outcome);
        // Built with another version code alone; signed, so another file with a signer.
        QVERIFY2(marked.contains(QStringLiteral("旧包 版本代码")) &&
                     marked.contains(QStringLiteral("旧包 签名校验")) &&
                     !marked.contains(QStringLiteral("旧包 包名")) &&
                     !marked.contains(QStringLiteral("旧包 版本号")),
                 qPrintable(marked.join(u',')));
        return;
    }
    if (then == CloseWhileLoading) {
        // Closed before its digests were in: its threads stopped reading long before the end.
        QCOMPARE(md5AtOnce, PendingText());
        QVERIFY2(readAfter - readBefore < QFileInfo(dropped).size() / 2,
                 qPrintable(QString::number(readAfter - readBefore)));
        return;
    }
    if (then == WatchWhileLoading) {
        // The identity and the size at once, the digests pending under the bar, which moved and
        // went once they were in.
        QCOMPARE(nameAtOnce, QStringLiteral("org.example.details"));
        const QString bytes = QLocale(QLocale::English).toString(QFileInfo(dropped).size());
        QVERIFY2(sizeAtOnce.startsWith(bytes + QStringLiteral(" 字节 (")), qPrintable(sizeAtOnce));
        QCOMPARE(md5AtOnce, PendingText());
        QVERIFY2(progressText.startsWith(QStringLiteral("计算中…")), qPrintable(progressText));
        QVERIFY(progressAtOnce);
        QVERIFY(progressSeen > 0);
        const QString md5 = QString::fromLatin1(FirstWord(QStringLiteral("md5sum"), {dropped}));
        QVERIFY2(fields.contains(QStringLiteral("MD5: ") + md5 + u'\n'), qPrintable(fields));
        // The estimate, a compression pass over 256 MiB, follows once everything else is in.
        QCOMPARE(estimateWhenLoaded, PendingText());
        return;
    }
    if (then == ReadWarnings) {
        // Each name in `other` is on a line that stands out, none in `outcome` is.
        const QString standingOut = boldLines.join(u'\n');
        for (const QString &name : other.split(u' '))
            QVERIFY2(standingOut.contains(name), qPrintable(standingOut));
        for (const QString &name : outcome.split(u' '))
            QVERIFY2(!standingOut.contains(name) && copied.contains(name), qPrintable(copied));
        return;
    }
    if (then == AwaitEstimate) {
        // The header counts: what was assembled, and the strings as the reader takes them.
        const SafeFile package(QFile::encodeName(dropped));
        const ZipArchive archive(package);
        const QList<DexFile> dex = ReadDexFiles(archive);
        QCOMPARE(dex.size(), 2);
        QVERIFY(dex[0].reading.header && dex[1].reading.header);
        const QString code =
            outcome.arg(dex[0].reading.header->strings).arg(dex[1].reading.header->strings);
        QVERIFY2(copied.contains(QStringLiteral("\n【代码】\n") + code +
                                 QStringLiteral("\n【框架】\n框架:\n  Kotlin\n")),
                 qPrintable(copied));
        // Uncompressed, the code is the two files.
        const QString codeSize = FileSizeText(other.toLongLong());
        const qsizetype sizes = copied.indexOf(QStringLiteral("\n【大小】\n代码: 存储 "));
        QVERIFY2(sizes > 0 &&
                     copied.indexOf(QStringLiteral("，解压后 %1\n资源表: ").arg(codeSize)) > sizes,
                 qPrintable(copied));
        const std::optional<qint64> estimate = EstimateDownloadSize(package);
        QVERIFY(estimate && *estimate > 0);
        const QString estimateRow =
            QStringLiteral("估计下载大小: ") + FileSizeText(*estimate) + u'\n';
        QVERIFY2(copied.endsWith(estimateRow), qPrintable(copied));
        QVERIFY2(fields.endsWith(estimateRow), qPrintable(fields));
        return;
    }

    QCOMPARE(title, QStringLiteral("详细信息 - org.example.details"));
    QCOMPARE(icon, QSize(64, 64));
    const QString size = QLocale(QLocale::English).toString(QFileInfo(detailed).size());
    const auto digest = [&](const char *tool) {
        return QString::fromLatin1(FirstWord(QString::fromLatin1(tool), {detailed}));
    };
    const QString expected =
        QStringLiteral(
            "应用名称: Tom's \"App\" / 汤姆的应用\n"
            "图标: res/mipmap-xxhdpi-v4/ic_launcher.png\n"
            "包名: org.example.details\n版本号: 2.5 'beta'\n版本代码: 7\n"
            "最低 SDK: 21\n目标 SDK: 29（低于 Google Play 对新应用和更新的要求（API %2））\n"
            "编译 SDK: 29 (10.0.0)\n"
            "原生平台: arm64-v8a, armeabi-v7a\n渠道: 无\n包类型: APK\n文件大小: %1 字节 (")
            .arg(size)
            .arg(RequiredTargetSdk(QDate::currentDate(), PlaySubmission::AppUpdate));
    const QString digests = QStringLiteral(")\nMD5: %1\nSHA-1: %2\nSHA-256: %3\n")
                                .arg(digest("md5sum"), digest("sha1sum"), digest("sha256sum"));
    // The package's rows, its permissions, then the signature section of this unsigned package.
    const QString permissionTitle = QStringLiteral("\n【权限】\n");
    const QString signatureTitle = QStringLiteral("\n【签名】\n");
    const qsizetype permissionStart = copied.indexOf(permissionTitle);
    const qsizetype split = copied.indexOf(signatureTitle);
    QVERIFY2(permissionStart > 0 && split > permissionStart, qPrintable(copied));
    const QString packageRows = copied.first(permissionStart);
    const QString permissionRows = copied.sliced(permissionStart + permissionTitle.size(),
                                                 split - permissionStart - permissionTitle.size());
    const QString signatureRows = copied.sliced(split + signatureTitle.size());
    QVERIFY2(packageRows.startsWith(expected) && packageRows.endsWith(digests), qPrintable(copied));
    // Each permission once, in the manifest's order, with the platform's level and Chinese label;
    // the one dangerous permission stands out, and says so in its own words.
    const QHash<QString, PermissionDefinition> &platform = ThePlatformPermissions();
    const QString contacts = QStringLiteral("android.permission.READ_CONTACTS");
    const QStringList permissionLines = permissionRows.split(u'\n');
    QVERIFY2(permissionLines.size() > 5, qPrintable(permissionRows));
    const QStringList requested{QStringLiteral("android.permission.INTERNET"),
                                QStringLiteral("android.permission.BLUETOOTH (maxSdkVersion 30)"),
                                contacts};
    for (qsizetype line = 0; line < requested.size(); ++line) {
        const QString shown = permissionLines[line + 1];
        const QString name = requested[line].section(u' ', 0, 0);
        QVERIFY2(shown.startsWith(QStringLiteral("  ") + requested[line]), qPrintable(shown));
        QVERIFY2(shown.endsWith(platform.value(name).label), qPrintable(shown));
        QCOMPARE(shown.contains(QStringLiteral("危险")), name == contacts);
    }
    QCOMPARE(boldPermissions, QStringList{permissionLines[3].mid(2)});
    QVERIFY2(permissionRows.contains(QStringLiteral("\n危险权限: 1 个\n声明的权限: 无\n")),
             qPrintable(permissionRows));
    QVERIFY2(permissionRows.contains(QStringLiteral("Android 10 (API 29)")),
             qPrintable(permissionRows));
    QVERIFY2(signatureRows.contains(QStringLiteral("签名校验: 未签名\n")), qPrintable(copied));
    // Its libraries hold one byte each: no ELF file to read.
    const QString nativeTitle = QStringLiteral("\n【原生库】\n");
    const QString nativeRows =
        QStringLiteral("lib/armeabi-v7a/libx.so: armeabi-v7a，1 字节，未压缩，16 KB 页面：不适用\n"
                       "lib/arm64-v8a/libx.so: arm64-v8a，1 字节，未压缩，16 KB 页面：无法解析\n"
                       "16 KB 页面: 不兼容（1 个库）\n");
    // Then no code, no framework, and the sizes.
    QVERIFY2(
        signatureRows.contains(nativeTitle + nativeRows +
                               QStringLiteral("\n【代码】\nDEX 文件: 无\n\n【框架】\n框架: 无\n"
                                              "\n【大小】\n")),
        qPrintable(copied));
    // The fields show the same, a list one item a line, the icon as an image.
    QString titled = packageRows + permissionRows + signatureRows;
    for (const char *title : {"组件", "安全标志", "发现", "原生库", "代码", "框架", "大小"})
        titled.remove(QStringLiteral("\n【%1】\n").arg(QString::fromUtf8(title)));
    QCOMPARE(fields, titled.remove(QStringLiteral("图标: ") + QString::fromLatin1(TopIcon) + u'\n')
                         .replace(QStringLiteral(":\n  "), QStringLiteral(": "))
                         .replace(QStringLiteral("\n  "), QStringLiteral("\n")));
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    DetailsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DetailsTest.moc"
