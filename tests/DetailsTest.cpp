// The details window: the tool's facts from captured real output, the digests against the
// coreutils, a file changed after its inspection, and the window offscreen on real packages.
#include "TestSupport.h"
#include "archive/ZipArchive.h"
#include "details/FileSizeText.h"
#include "details/PackageDetails.h"
#include "digest/FileDigests.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "ui/DetailsDlg.h"
#include "ui/PelmoraDlg.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sys/stat.h>

namespace {

using Texts = QStringList;

// What happens to the file after its inspection.
enum Change
{
    None,
    Rewrite,
    Append,
    Remove,
    Fifo,
    Folder
};

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray RunTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    return tool.readAllStandardOutput();
}

QByteArray Image(int side, Qt::GlobalColor color, const char *format)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A package with what the details window shows: two labels, an apostrophe and escaped quotes,
// SDK levels, permissions (one twice, one with maxSdkVersion, one for API 23 up), native
// libraries, and the icon in four densities and three formats.
PackageContents DetailedContents()
{
    return {QStringLiteral("汤姆的应用"),
            QStringLiteral(
                "<uses-sdk android:minSdkVersion=\"21\" android:targetSdkVersion=\"29\"/>\n"
                "<uses-permission android:name=\"android.permission.INTERNET\"/>\n"
                "<uses-permission android:name=\"android.permission.BLUETOOTH\" "
                "android:maxSdkVersion=\"30\"/>\n"
                "<uses-permission android:name=\"android.permission.INTERNET\"/>\n"
                "<uses-permission-sdk-23 android:name=\"android.permission.READ_CONTACTS\"/>"),
            QStringLiteral("@mipmap/ic_launcher"),
            {{QStringLiteral("mipmap-mdpi/ic_launcher.png"), Image(48, Qt::red, "PNG")},
             {QStringLiteral("mipmap-hdpi/ic_launcher.jpg"), Image(72, Qt::yellow, "JPEG")},
             {QStringLiteral("mipmap-xhdpi/ic_launcher.webp"), Image(96, Qt::blue, "WEBP")},
             {QStringLiteral("mipmap-xxhdpi/ic_launcher.png"), Image(144, Qt::green, "PNG")}},
            {{QStringLiteral("lib/armeabi-v7a/libx.so"), "x"},
             {QStringLiteral("lib/arm64-v8a/libx.so"), "x"}}};
}

const TestPackage Detailed{QStringLiteral("org.example.details"), QStringLiteral("2.5 'beta'"),
                           QStringLiteral("Tom\\'s \\\"App\\\"")};
const QByteArray TopIcon = "res/mipmap-xxhdpi-v4/ic_launcher.png";
const QByteArray NextIcon = "res/mipmap-xhdpi-v4/ic_launcher.webp";

// An inspection as the main window makes it: the tool's output and the file's MD5.
InspectedPackage Inspect(const QString &path, const QByteArray &toolOutput = {})
{
    QByteArray md5;
    ComputeFileMd5(path, md5);
    return {QFile::encodeName(path),
            toolOutput.isEmpty()
                ? RunTool(QStringLiteral(SYSTEM_AAPT),
                          {QStringLiteral("dump"), QStringLiteral("badging"), path})
                : toolOutput,
            md5};
}

// Drops `path` onto the main window, answering any message box.
void Drop(CPelmoraDlg &dialog, const QString &path)
{
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(5);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
}

// Presses Ctrl+I in the main window's package box; runs `whileOpen` on the details window if
// one opens, then closes it with Esc. Returns whether one opened.
bool PressCtrlI(CPelmoraDlg &dialog, const std::function<void(CDetailsDlg &)> &whileOpen = {})
{
    bool opened = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *details = qobject_cast<CDetailsDlg *>(QApplication::activeModalWidget());
        if (!details || opened)
            return;
        opened = true;
        if (whileOpen)
            whileOpen(*details);
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : details, Qt::Key_Escape);
    });
    watcher.start(10);
    QTest::keyClick(dialog.GetDlgItem(CPelmoraDlg::PackageBox), Qt::Key_I, Qt::ControlModifier);
    QTest::qWait(50);
    return opened;
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
    void digests_data();
    void digests();
    void fileAfterInspection_data();
    void fileAfterInspection();
    void commandFollowsInspection_data();
    void commandFollowsInspection();
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
    QTest::addColumn<Texts>("identity"); // package, version name, version code, label
    QTest::addColumn<Texts>("sdks");     // minimum, target, compile
    QTest::addColumn<Texts>("permissions");
    QTest::addColumn<Texts>("platforms");
    QTest::addColumn<int>("icons");

    QTest::newRow("built package")
        << QStringLiteral("details-package.txt")
        << Texts{QStringLiteral("org.example.details"), QStringLiteral("2.5 'beta'"),
                 QStringLiteral("7"), QStringLiteral("Tom's \"App\" / 汤姆的应用")}
        << Texts{QStringLiteral("21"), QStringLiteral("29"), QStringLiteral("29 (10.0.0)")}
        << Texts{QStringLiteral("android.permission.INTERNET"),
                 QStringLiteral("android.permission.BLUETOOTH (maxSdkVersion 30)"),
                 QStringLiteral("android.permission.READ_CONTACTS")}
        << Texts{QStringLiteral("arm64-v8a"), QStringLiteral("armeabi-v7a")} << 4;
    QTest::newRow("Chinese label only, implied permissions")
        << QStringLiteral("chinese-label.txt")
        << Texts{QStringLiteral("com.example.app"), QStringLiteral("1.2.0"), QStringLiteral("3"),
                 QStringLiteral("示例应用")}
        << Texts{QString(), QString(), QStringLiteral("29 (10.0.0)")}
        << Texts{QStringLiteral("android.permission.WRITE_EXTERNAL_STORAGE"),
                 QStringLiteral("android.permission.READ_PHONE_STATE"),
                 QStringLiteral("android.permission.READ_EXTERNAL_STORAGE")}
        << Texts{} << 0;
    QTest::newRow("framework-res.apk")
        << QStringLiteral("framework-res.txt")
        << Texts{QStringLiteral("android"), QStringLiteral("10.0.0"), QStringLiteral("29"),
                 QStringLiteral("Android System / Android 系统")}
        << Texts{QStringLiteral("29"), QStringLiteral("29"), QString()}
        << Texts{QStringLiteral("android.permission.LOCATION_HARDWARE"),
                 QStringLiteral("android.permission.CONNECTIVITY_USE_RESTRICTED_NETWORKS"),
                 QStringLiteral("android.permission.GET_ACCOUNTS"),
                 QStringLiteral("android.permission.SEND_SHOW_SUSPENDED_APP_DETAILS"),
                 QStringLiteral("android.permission.BIND_JOB_SERVICE"),
                 QStringLiteral("android.permission.TRIGGER_TIME_ZONE_RULES_CHECK"),
                 QStringLiteral("android.permission.BIND_NETWORK_RECOMMENDATION_SERVICE"),
                 QStringLiteral("android.permission.BIND_ATTENTION_SERVICE"),
                 QStringLiteral("android.permission.CONTROL_VPN"),
                 QStringLiteral("android.permission.PACKAGE_USAGE_STATS"),
                 QStringLiteral("android.intent.category.MASTER_CLEAR.permission.C2D_MESSAGE"),
                 QStringLiteral("android.permission.LOCAL_MAC_ADDRESS"),
                 QStringLiteral("android.permission.CONFIRM_FULL_BACKUP"),
                 QStringLiteral("android.permission.ACCESS_INSTANT_APPS")}
        << Texts{} << 8;
}

void DetailsTest::facts()
{
    QFETCH(QString, capture);
    QFETCH(Texts, identity);
    QFETCH(Texts, sdks);
    const PackageFacts facts =
        ReadPackageFacts(ReadFile(QStringLiteral(TEST_DATA_DIR "/") + capture));
    QCOMPARE((Texts{facts.packageName, facts.versionName, facts.versionCode, facts.label}),
             identity);
    QCOMPARE((Texts{facts.minSdk, facts.targetSdk, facts.compileSdk}), sdks);
    QTEST(facts.permissions, "permissions");
    QTEST(facts.nativePlatforms, "platforms");
    QTEST(int(facts.icons.size()), "icons");
}

void DetailsTest::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("under a KiB") << qint64(1023) << QStringLiteral("1,023 字节");
    QTest::newRow("framework-res.apk's size")
        << qint64(45623301) << QStringLiteral("45,623,301 字节 (43.5 MiB)");
    QTest::newRow("rounds up into the next unit")
        << qint64(1048575) << QStringLiteral("1,048,575 字节 (1.0 MiB)");
    QTest::newRow("past 4 GiB") << qint64(5) * 1024 * 1024 * 1024
                                << QStringLiteral("5,368,709,120 字节 (5.0 GiB)");
}

void DetailsTest::sizeText()
{
    QFETCH(qint64, bytes);
    QTEST(FileSizeText(bytes), "text");
}

void DetailsTest::digests_data()
{
    QTest::addColumn<QString>("path");
    QVERIFY(WriteFile(file("empty.bin"), {}));
    // Not a multiple of the read chunk, so the last one is short.
    QVERIFY(WriteFile(file("odd.bin"), QByteArray(3 * 1024 * 1024 + 17, '\x5a')));
    QTest::newRow("built package") << detailed;
    QTest::newRow("framework-res.apk") << QStringLiteral(FRAMEWORK_RES);
    QTest::newRow("empty file") << file("empty.bin");
    QTest::newRow("three chunks and 17 bytes") << file("odd.bin");
}

void DetailsTest::digests()
{
    QFETCH(QString, path);
    const std::optional<FileDigests> digests =
        ComputeFileDigests(SafeFile(QFile::encodeName(path)));
    QVERIFY(digests);
    for (const auto &[tool, digest] :
         {std::pair{"md5sum", digests->md5}, std::pair{"sha1sum", digests->sha1},
          std::pair{"sha256sum", digests->sha256}})
        QCOMPARE(digest, RunTool(QString::fromLatin1(tool), {path}).split(' ').first());
}

void DetailsTest::fileAfterInspection_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("toolSaw"); // what the tool read when it is not `path`
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QByteArray>("icon");

    const QString itself;
    QTest::newRow("unchanged: the highest density")
        << detailed << itself << int(None) << false << TopIcon;
    QTest::newRow("same length, other bytes")
        << detailed << itself << int(Rewrite) << true << QByteArray();
    QTest::newRow("longer") << detailed << itself << int(Append) << true << QByteArray();
    QTest::newRow("vanished") << detailed << itself << int(Remove) << true << QByteArray();
    QTest::newRow("now a FIFO") << detailed << itself << int(Fifo) << true << QByteArray();
    QTest::newRow("now a folder") << detailed << itself << int(Folder) << true << QByteArray();

    // Packages inspected as they are, whose icons are at fault.
    PackageContents notAnImage = DetailedContents();
    notAnImage.storedEntries.append({QString::fromLatin1(TopIcon), "<svg/>"});
    QTest::newRow("highest density not a bitmap by its bytes")
        << BuildTestPackage(directory.path(), QStringLiteral("svg.apk"), Detailed, notAnImage)
        << itself << int(None) << false << NextIcon;

    PackageContents vector = DetailedContents();
    vector.resources = {{QStringLiteral("drawable/ic_launcher.xml"),
                         "<vector xmlns:android=\"http://schemas.android.com/apk/res/android\" "
                         "android:width=\"24dp\" android:height=\"24dp\" "
                         "android:viewportWidth=\"24\" android:viewportHeight=\"24\"/>"}};
    vector.icon = QStringLiteral("@drawable/ic_launcher");
    QTest::newRow("vector icon only")
        << BuildTestPackage(directory.path(), QStringLiteral("vector.apk"), Detailed, vector)
        << itself << int(None) << false << QByteArray();

    // The stored bytes of the top icon, damaged in place: its checksum no longer matches.
    QByteArray damaged = ReadFile(detailed);
    const QByteArray top =
        *ZipArchive(SafeFile(QFile::encodeName(detailed))).readEntry(TopIcon, 1 << 20);
    const qsizetype at = damaged.indexOf(top);
    QVERIFY(at > 0 && damaged.indexOf(top, at + 1) < 0);
    damaged[at + top.size() / 2] = char(~damaged[at + top.size() / 2]);
    QVERIFY(WriteFile(file("damaged-icon.apk"), damaged));
    QTest::newRow("highest density damaged")
        << file("damaged-icon.apk") << itself << int(None) << false << NextIcon;
    // Cut short: the tool's facts stay, and without the central directory there is no icon.
    QVERIFY(WriteFile(file("truncated.apk"), ReadFile(detailed).first(1000)));
    QTest::newRow("truncated archive")
        << file("truncated.apk") << detailed << int(None) << false << QByteArray();
}

void DetailsTest::fileAfterInspection()
{
    QFETCH(QString, path);
    QFETCH(QString, toolSaw);
    QFETCH(int, change);
    QFETCH(bool, changed);
    QFETCH(QByteArray, icon);
    const QString copy = file("inspected.apk");
    QFile::remove(copy);
    QDir(copy).removeRecursively();
    QVERIFY(QFile::copy(path, copy));
    const InspectedPackage inspected =
        Inspect(copy, toolSaw.isEmpty() ? QByteArray() : Inspect(toolSaw).toolOutput);

    QByteArray bytes = ReadFile(copy);
    if (change == Rewrite || change == Append) {
        if (change == Rewrite)
            bytes[100] = char(~bytes[100]);
        else
            bytes.append('\0');
        QVERIFY(WriteFile(copy, bytes));
    } else if (change != None) {
        QVERIFY(QFile::remove(copy));
        if (change == Fifo)
            QCOMPARE(::mkfifo(inspected.path.constData(), 0600), 0);
        if (change == Folder)
            QVERIFY(QDir().mkdir(copy));
    }

    const PackageDetails details = LoadPackageDetails(inspected);
    QCOMPARE(details.facts.packageName, Detailed.packageName);
    QCOMPARE(details.fileChanged, changed);
    QCOMPARE(details.icon ? details.icon->path : QByteArray(), icon);
    const DetailsSection section = PackageSection(details);
    const auto value = [&](const QString &label) {
        for (const DetailsRow &row : section.rows)
            if (row.label == label)
                return row.value;
        return QString();
    };
    const QString notice = QStringLiteral("文件已更改，请重新打开");
    for (const char *label : {"MD5", "SHA-1", "SHA-256"})
        QCOMPARE(value(QString::fromLatin1(label)) == notice, changed);
    if (!changed)
        QCOMPARE(value(QStringLiteral("MD5")), QString::fromLatin1(inspected.md5));
}

void DetailsTest::commandFollowsInspection_data()
{
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<bool>("enabled");
    QVERIFY(WriteFile(file("broken.apk"), QByteArray(3000, '\x5a')));
    QVERIFY(WriteFile(file("notes.txt"), "text"));
    QTest::newRow("at start") << QString() << false;
    QTest::newRow("a package") << detailed << true;
    QTest::newRow("a damaged package after it") << file("broken.apk") << false;
    QTest::newRow("another type after it") << file("notes.txt") << false;
}

void DetailsTest::commandFollowsInspection()
{
    QFETCH(QString, dropped);
    QFETCH(bool, enabled);
    CPelmoraDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (!dropped.isEmpty()) {
        if (!enabled)
            Drop(dialog, detailed);
        Drop(dialog, dropped);
    }
    const QAction *command = dialog.GetSystemMenu()->actions().first();
    QCOMPARE(command->text(), QStringLiteral("详细信息(&D)..."));
    QCOMPARE(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    QCOMPARE(command->isEnabled(), enabled);
    QCOMPARE(PressCtrlI(dialog), enabled);
    QVERIFY(dialog.isVisible());
}

void DetailsTest::window()
{
    CPelmoraDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Drop(dialog, detailed);
    const auto digest = [&](const char *tool) {
        return QString::fromLatin1(
            RunTool(QString::fromLatin1(tool), {detailed}).split(' ').first());
    };
    const QString permissions = QStringLiteral("android.permission.INTERNET\n"
                                               "android.permission.BLUETOOTH (maxSdkVersion 30)\n"
                                               "android.permission.READ_CONTACTS");
    const QList<std::pair<QString, QString>> expected = {
        {QStringLiteral("应用名称"), QStringLiteral("Tom's \"App\" / 汤姆的应用")},
        {QStringLiteral("图标"), QString::fromLatin1(TopIcon)},
        {QStringLiteral("包名"), QStringLiteral("org.example.details")},
        {QStringLiteral("版本号"), QStringLiteral("2.5 'beta'")},
        {QStringLiteral("版本代码"), QStringLiteral("7")},
        {QStringLiteral("最低 SDK"), QStringLiteral("21")},
        {QStringLiteral("目标 SDK"), QStringLiteral("29")},
        {QStringLiteral("编译 SDK"), QStringLiteral("29 (10.0.0)")},
        {QStringLiteral("权限"), permissions},
        {QStringLiteral("原生平台"), QStringLiteral("arm64-v8a, armeabi-v7a")},
        {QStringLiteral("文件大小"),
         QLocale(QLocale::English).toString(QFileInfo(detailed).size()) +
             QStringLiteral(" 字节 (")},
        {QStringLiteral("MD5"), digest("md5sum")},
        {QStringLiteral("SHA-1"), digest("sha1sum")},
        {QStringLiteral("SHA-256"), digest("sha256sum")},
    };

    QString title, copied;
    QSize icon;
    QList<std::pair<QString, QString>> shown;
    QVERIFY(PressCtrlI(dialog, [&](CDetailsDlg &details) {
        title = details.windowTitle();
        for (QWidget *field : details.findChildren<QWidget *>()) {
            const QString label = field->accessibleName();
            if (auto *line = qobject_cast<QLineEdit *>(field); line && line->isReadOnly())
                shown.append({label, line->text()});
            else if (auto *list = qobject_cast<QPlainTextEdit *>(field); list && list->isReadOnly())
                shown.append({label, list->toPlainText()});
            else if (auto *image = qobject_cast<QLabel *>(field); image && !label.isEmpty()) {
                shown.append({label, image->toolTip()});
                icon = image->pixmap().deviceIndependentSize().toSize();
            }
        }
        for (QPushButton *button : details.findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("复制全部"))
                button->click();
        copied = QApplication::clipboard()->text();
    }));
    QVERIFY(dialog.isVisible()); // Esc closed the details window only

    QCOMPARE(title, QStringLiteral("详细信息 - org.example.details"));
    QCOMPARE(icon, QSize(64, 64));
    QCOMPARE(shown.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(shown[i].first, expected[i].first);
        if (expected[i].first == QStringLiteral("文件大小"))
            QVERIFY2(shown[i].second.startsWith(expected[i].second), qPrintable(shown[i].second));
        else
            QCOMPARE(shown[i].second, expected[i].second);
    }
    const QStringList lines = copied.split(u'\n');
    QCOMPARE(lines.first(), QStringLiteral("应用名称: Tom's \"App\" / 汤姆的应用"));
    QVERIFY(lines.contains(QStringLiteral("图标: ") + QString::fromLatin1(TopIcon)));
    QVERIFY(copied.contains(QStringLiteral("\n权限:\n  android.permission.INTERNET\n"
                                           "  android.permission.BLUETOOTH (maxSdkVersion 30)\n"
                                           "  android.permission.READ_CONTACTS\n原生平台: ")));
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("SHA-256: ") + digest("sha256sum"));
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    DetailsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DetailsTest.moc"
