// The drop handler through real drop events on the main dialog, on the offscreen platform.
#include "DropEvents.h"
#include "TestSupport.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "inspect/Inspection.h"
#include "ui/PelmoraDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

namespace {

struct Shown
{
    QString path, package, md5, version;
    bool operator==(const Shown &) const = default;
};

QString BoxText(const CPelmoraDlg &dialog, int id)
{
    return qobject_cast<QLineEdit *>(dialog.GetDlgItem(id))->text();
}

Shown Boxes(const CPelmoraDlg &dialog)
{
    return {BoxText(dialog, CPelmoraDlg::PathBox), BoxText(dialog, CPelmoraDlg::PackageBox),
            BoxText(dialog, CPelmoraDlg::Md5Box), BoxText(dialog, CPelmoraDlg::VersionBox)};
}

// What a message box showed, and what the window looked like while it was up.
struct Message
{
    QString text;
    Shown boxesMeanwhile;
    bool plain = false;      // captioned "Pelmora", no icon, one button
    bool waitCursor = false; // the wait cursor was still on
    bool duringDrop = false; // up before the drop had returned to its source
};

// Drops `paths` onto the dialog as a file manager would, answering any message box with OK.
QList<Message> Drop(CPelmoraDlg &dialog, const QStringList &paths)
{
    QList<Message> messages;
    bool dropping = true;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        messages.append({box->text(), Boxes(dialog),
                         box->windowTitle() == QStringLiteral("Pelmora") &&
                             box->icon() == QMessageBox::NoIcon && box->buttons().size() == 1,
                         QApplication::overrideCursor() != nullptr, dropping});
        box->button(QMessageBox::Ok)->click();
    });
    watcher.start(5);

    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    DropUrls(dialog, urls, Qt::CopyAction, Qt::NoModifier, [&] { dropping = false; });
    return messages;
}

QString Md5Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

class InspectDroppedFileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drop_data();
    void drop();
    void dragsAreTakenOnlyAsCopies_data();
    void dragsAreTakenOnlyAsCopies();
    void besideAnotherTool_data();
    void besideAnotherTool();

private:
    QString file(const QString &name) const { return directory.filePath(name); }
    bool buildPackagesTheToolComplainsAbout();
    bool buildPackagesOfNewerToolchains();
    QTemporaryDir directory;
    Shown good;
};

void InspectDroppedFileTest::initTestCase()
{
    QVERIFY(!BuildTestPackage(directory.path(), QStringLiteral("good.apk"),
                              {QStringLiteral("com.example.good"), QStringLiteral("1.2.0"),
                               QStringLiteral("Good")})
                 .isEmpty());
    QVERIFY(!BuildTestPackage(directory.path(), QStringLiteral("other.apk"),
                              {QStringLiteral("com.example.other"), QStringLiteral("3.0 beta"),
                               QStringLiteral("其他")})
                 .isEmpty());
    QVERIFY(!BuildTestPackage(directory.path(), QStringLiteral("noversion.apk"),
                              {QStringLiteral("com.example.nov"), QString(), QStringLiteral("N")})
                 .isEmpty());
    QVERIFY(!BuildTestPackage(directory.path(), QStringLiteral("mapped.apk"),
                              {QStringLiteral("com.example.mapped"), QStringLiteral("1.0"),
                               QStringLiteral("Mapped A")})
                 .isEmpty());
    QVERIFY(LabelOffset(file(QStringLiteral("mapped.apk")), QStringLiteral("Mapped A")) > 0);
    QVERIFY(!BuildTestPackage(directory.path(), QStringLiteral("reporter.apk"),
                              {QStringLiteral("com.example.reporter"), QStringLiteral("2.0"),
                               QStringLiteral("ERROR Reporter")})
                 .isEmpty());
    for (const char *copy : {"Upper.APK", "readme", "app.apk (1)", "copy.apkx", "我的 包.apk"})
        QVERIFY(QFile::copy(file(QStringLiteral("other.apk")), file(QString::fromUtf8(copy))));
    const auto write = [this](const char *name, const QByteArray &content) {
        QFile f(file(QString::fromUtf8(name)));
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    };
    QVERIFY(buildPackagesTheToolComplainsAbout());
    QVERIFY(buildPackagesOfNewerToolchains());
    QVERIFY(
        BuildTestZip(file(QStringLiteral("bundle.apks")),
                     {{QStringLiteral("base.apk"), ReadFile(file(QStringLiteral("other.apk")))}}));
    QVERIFY(BuildTestZip(
        file(QStringLiteral("stored.apkm")),
        {{QStringLiteral("base.apk"), ReadFile(file(QStringLiteral("other.apk")))}}, true));
    QVERIFY(BuildTestZip(file(QStringLiteral("no-base.xapk")),
                         {{QStringLiteral("manifest.json"), "{}"}}));
    QVERIFY(write("notes.txt", "text"));
    QVERIFY(write("broken.apk", QByteArray(3000, '\x5a')));
    QVERIFY(write("empty.apk", {}));
    QVERIFY(QDir(directory.path()).mkdir(QStringLiteral("subdir")));
    QVERIFY(QDir(directory.path()).mkdir(QStringLiteral("backup.apk")));
    QCOMPARE(::mkfifo(QFile::encodeName(file(QStringLiteral("fifo.apk"))).constData(), 0600), 0);

    good = {file(QStringLiteral("good.apk")), QStringLiteral("com.example.good"),
            Md5Of(file(QStringLiteral("good.apk"))).toUpper(), QStringLiteral("1.2.0")};
}

// A package whose icon refers to a resource that does not exist, as one whose resources were
// trimmed after linking does: aapt prints "ERROR getting 'android:icon' attribute" for it, yet
// it installs. Saved unsigned and signed. And a signed one the tool cannot read to its end.
bool InspectDroppedFileTest::buildPackagesTheToolComplainsAbout()
{
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return false;
    const TestPackage package{QStringLiteral("com.example.icon"), QStringLiteral("4.0"),
                              QStringLiteral("Icon")};
    PackageContents contents;
    contents.icon = QStringLiteral("@drawable/icon");
    contents.resources = {{QStringLiteral("drawable/icon.png"), png}};
    const QString sound =
        BuildTestPackage(directory.path(), QStringLiteral("sound.apk"), package, contents);
    const SafeFile soundFile(QFile::encodeName(sound));
    const std::optional<QByteArray> manifest =
        ZipArchive(soundFile).readEntry("AndroidManifest.xml", 1 << 20);
    // The icon attribute's typed value: size 8, a reference, to the first drawable 0x7f020000.
    const QByteArray reference("\x08\x00\x00\x01\x00\x00\x02\x7f", 8);
    if (!manifest || manifest->count(reference) != 1)
        return false;
    QByteArray patched = *manifest;
    patched.replace(reference, QByteArray("\x08\x00\x00\x01\x99\x00\x02\x7f", 8));
    contents.storedEntries = {{QStringLiteral("AndroidManifest.xml"), patched}};
    const QString complained =
        BuildTestPackage(directory.path(), QStringLiteral("complained.apk"), package, contents);
    const TestKey key = MakeTestKey(directory.path(), QStringLiteral("icon"));
    // A permission whose name is a resource: aapt stops there, before the permissions after it.
    PackageContents permission;
    permission.manifestElements =
        QStringLiteral("<uses-permission android:name='@string/perm'/>"
                       "<uses-permission android:name='android.permission.RECORD_AUDIO'/>");
    permission.resources = {
        {QStringLiteral("values/perm.xml"),
         "<resources><string name='perm'>android.permission.READ_SMS</string></resources>"}};
    const QString stopped =
        BuildTestPackage(directory.path(), QStringLiteral("stopped.apk"), package, permission);
    return !complained.isEmpty() && !stopped.isEmpty() &&
           SignTestPackage(complained, file(QStringLiteral("complained-signed.apk")), key) &&
           SignTestPackage(stopped, file(QStringLiteral("stopped-signed.apk")), key);
}

// The two real packages with Android 14 resource tables, unsigned as they came and signed here,
// and one built here whose table the tool refuses whole, unsigned and signed.
bool InspectDroppedFileTest::buildPackagesOfNewerToolchains()
{
    const TestKey key = MakeTestKey(directory.path(), QStringLiteral("newer"));
    for (const char *name : {"aapt2-compact-entries", "android15-rom-app"}) {
        const QString original = CompactEntriesPackage(name);
        if (!QFile::copy(original, file(QLatin1String(name) + QStringLiteral(".apk"))) ||
            !SignTestPackage(original, file(QLatin1String(name) + QStringLiteral("-signed.apk")),
                             key))
            return false;
    }
    const QString refused = BuildTestPackage(
        directory.path(), QStringLiteral("refused.apk"),
        {QStringLiteral("org.example.refused"), QStringLiteral("5.0"), QStringLiteral("Refused")},
        RefusedTableContents(QStringLiteral("拒绝")));
    return !refused.isEmpty() &&
           SignTestPackage(refused, file(QStringLiteral("refused-signed.apk")), key);
}

void InspectDroppedFileTest::drop_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("version");
    // Another program mapped the first file dropped and keeps writing it meanwhile.
    QTest::addColumn<bool>("written");

    const auto files = [this](std::initializer_list<const char *> names) {
        QStringList paths;
        for (const char *name : names)
            paths.append(file(QString::fromUtf8(name)));
        return paths;
    };
    const QString wrongType = QStringLiteral("类型错误");
    const QString noFolders = QStringLiteral("不处理文件夹");
    const QString damaged = QStringLiteral("apk类型已经损坏");
    const QString kept = QStringLiteral("1.2.0");

    QTest::newRow("package") << files({"other.apk"}) << QString()
                             << QStringLiteral("com.example.other") << QStringLiteral("3.0 beta")
                             << false;
    QTest::newRow("three files: the first counts")
        << files({"other.apk", "good.apk", "notes.txt"}) << QString()
        << QStringLiteral("com.example.other") << QStringLiteral("3.0 beta") << false;
    QTest::newRow(".apkx accepted")
        << files({"copy.apkx"}) << QString() << QStringLiteral("com.example.other")
        << QStringLiteral("3.0 beta") << false;
    QTest::newRow("blank and Chinese in the name")
        << files({"我的 包.apk"}) << QString() << QStringLiteral("com.example.other")
        << QStringLiteral("3.0 beta") << false;
    QTest::newRow("no versionName: version box emptied")
        << files({"noversion.apk"}) << QString() << QStringLiteral("com.example.nov") << QString()
        << false;
    QTest::newRow("wrong extension")
        << files({"notes.txt"}) << wrongType << QString() << kept << false;
    QTest::newRow(".APK refused") << files({"Upper.APK"}) << wrongType << QString() << kept
                                  << false;
    QTest::newRow("no extension") << files({"readme"}) << noFolders << QString() << kept << false;
    QTest::newRow("blank cancels the extension")
        << files({"app.apk (1)"}) << noFolders << QString() << kept << false;
    QTest::newRow("folder") << files({"subdir"}) << noFolders << QString() << kept << false;
    QTest::newRow("folder named like a package")
        << files({"backup.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("damaged package")
        << files({"broken.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("empty package") << files({"empty.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("FIFO named like a package")
        << files({"fifo.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("a bundle: its base's name and version, the bundle's MD5")
        << files({"bundle.apks"}) << QString() << QStringLiteral("com.example.other")
        << QStringLiteral("3.0 beta") << false;
    QTest::newRow("a bundle whose base is stored")
        << files({"stored.apkm"}) << QString() << QStringLiteral("com.example.other")
        << QStringLiteral("3.0 beta") << false;
    QTest::newRow("a bundle without a base")
        << files({"no-base.xapk"}) << damaged << QString() << kept << false;
    QTest::newRow("the tool complains of a signed package's icon")
        << files({"complained-signed.apk"}) << QString() << QStringLiteral("com.example.icon")
        << QStringLiteral("4.0") << false;
    QTest::newRow("the tool complains of an unsigned package's icon")
        << files({"complained.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("an unsigned package labelled with the word ERROR")
        << files({"reporter.apk"}) << QString() << QStringLiteral("com.example.reporter")
        << QStringLiteral("2.0") << false;
    QTest::newRow("the tool stops at a signed package's permission")
        << files({"stopped-signed.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("compact entries (aapt2), signed")
        << files({"aapt2-compact-entries-signed.apk"}) << QString()
        << QStringLiteral("com.ibotpeaches.issue3366") << QString() << false;
    QTest::newRow("compact entries (Android 15 system app), signed")
        << files({"android15-rom-app-signed.apk"}) << QString()
        << QStringLiteral("com.ibotpeaches.compactentries") << QStringLiteral("15") << false;
    QTest::newRow("compact entries (aapt2), unsigned")
        << files({"aapt2-compact-entries.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("compact entries (Android 15 system app), unsigned")
        << files({"android15-rom-app.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("a table the tool refuses, signed: the manifest's name and version")
        << files({"refused-signed.apk"}) << QString() << QStringLiteral("org.example.refused")
        << QStringLiteral("5.0") << false;
    QTest::newRow("a table the tool refuses, unsigned")
        << files({"refused.apk"}) << damaged << QString() << kept << false;
    QTest::newRow("a package another program mapped before and keeps writing")
        << files({"mapped.apk"}) << damaged << QString() << kept << true;
}

void InspectDroppedFileTest::drop()
{
    QFETCH(QStringList, dropped);
    QFETCH(QString, message);
    QFETCH(bool, written);
    CPelmoraDlg dialog;
    dialog.show();

    QVERIFY(Drop(dialog, {good.path}).isEmpty());
    QCOMPARE(Boxes(dialog), good);

    // Another program writes the label's last letter through a shared mapping, as built and as
    // 'Z' in turn: the tool prints it, the MD5 covers it.
    QProcess writer;
    const auto stopWriter = qScopeGuard([&writer] {
        writer.kill();
        writer.waitForFinished();
    });
    if (written) {
        const QString label = QStringLiteral("Mapped A");
        const qint64 letter = LabelOffset(dropped.first(), label) + 2 * (label.size() - 1);
        QVERIFY(StartMappingWriter(writer, {QStringLiteral("hold"), dropped.first(),
                                            QString::number(letter), QStringLiteral("A"),
                                            QStringLiteral("Z")}));
    }

    const QList<Message> messages = Drop(dialog, dropped);
    const Shown shown = Boxes(dialog);
    if (message.isEmpty()) {
        QVERIFY(messages.isEmpty());
        // The tool read the file through /dev/fd/N, which opens it anew, for reading only: that
        // breaks no lease, so every reader read one content of it.
        const std::shared_ptr<const PackageFile> &file = dialog.inspectedPackage()->file;
        QVERIFY(file->keeping() == PackageFile::Keeping::Leased && !file->changed());
        QCOMPARE(shown.path, dropped.first());
        QCOMPARE(dialog.displayFields().md5Text, Md5Of(dropped.first()));
        QCOMPARE(shown.md5, Md5Of(dropped.first()).toUpper());
    } else {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text, message);
        QVERIFY(messages.first().plain);
        QVERIFY2(!messages.first().waitCursor, "the wait cursor must be gone before a message");
        QVERIFY2(!messages.first().duringDrop, "the drag source must be free before a message");
        QCOMPARE(messages.first().boxesMeanwhile, good);
        QVERIFY(shown.path.isEmpty());
        QVERIFY(shown.md5.isEmpty());
    }
    QTEST(shown.package, "package");
    QTEST(shown.version, "version");
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void InspectDroppedFileTest::dragsAreTakenOnlyAsCopies_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<Qt::DropAction>("taken");
    const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("a remote file is refused")
        << false << Qt::DropActions(Qt::CopyAction) << Qt::KeyboardModifiers() << Qt::IgnoreAction;
    QTest::newRow("a local file is copied")
        << true << Qt::DropActions(Qt::CopyAction) << Qt::KeyboardModifiers() << Qt::CopyAction;
    QTest::newRow("a proposed move is taken as a copy")
        << true << copyOrMove << Qt::KeyboardModifiers(Qt::ShiftModifier) << Qt::CopyAction;
    QTest::newRow("a drag offering no copy is refused")
        << true << Qt::DropActions(Qt::MoveAction) << Qt::KeyboardModifiers() << Qt::IgnoreAction;
}

void InspectDroppedFileTest::dragsAreTakenOnlyAsCopies()
{
    QFETCH(bool, local);
    QFETCH(Qt::DropActions, offered);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    CPelmoraDlg dialog;
    const QUrl url =
        local ? QUrl::fromLocalFile(good.path) : QUrl(QStringLiteral("https://example.com/a.apk"));
    QTEST(DropUrls(dialog, {url}, offered, modifiers), "taken");
}

void InspectDroppedFileTest::besideAnotherTool_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("mode");
    const QString fake = QStringLiteral(FAKE_TOOL);
    QTest::newRow("toolMissing") << QString() << QString();
    QTest::newRow("toolSaysError") << fake << QStringLiteral("error");
    QTest::newRow("toolSaysErrorWhileHashing") << fake << QStringLiteral("late-error");
    QTest::newRow("toolKilled") << fake << QStringLiteral("killed");
    QTest::newRow("toolNeverEnds") << fake << QStringLiteral("hang");
    QTest::newRow("toolWritesWithoutEnd") << fake << QStringLiteral("flood");
    QTest::newRow("toolFloodsWhileHashing") << fake << QStringLiteral("chunks");
    QTest::newRow("toolSilent") << fake << QStringLiteral("silent");
    QTest::newRow("toolWithoutPackageLine") << fake << QStringLiteral("nopackage");
    QTest::newRow("fileWithoutDigest") << fake << QStringLiteral("package");
}

// Each row runs the test function of its name in a copy beside that tool (BesideOtherTool).
void InspectDroppedFileTest::besideAnotherTool()
{
    QFETCH(QString, tool);
    QFETCH(QString, mode);
    QCOMPARE(RunCopyBesideTool(tool, QString::fromUtf8(QTest::currentDataTag()), mode), 0);
}

// Runs in a copy of this executable, beside no tool or a fake one.
class BesideOtherTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toolMissing();
    void toolSaysError();
    void toolSaysErrorWhileHashing();
    void toolKilled();
    void toolNeverEnds();
    void toolWritesWithoutEnd();
    void toolFloodsWhileHashing();
    void toolSilent();
    void toolWithoutPackageLine();
    void fileWithoutDigest_data();
    void fileWithoutDigest();

private:
    void expectPathAndDigestOnly();
    void expectDamaged(const QString &path);
    QString largePackage();
    QTemporaryDir directory;
    QString package;
};

void BesideOtherTool::initTestCase()
{
    package = BuildTestPackage(
        directory.path(), QStringLiteral("good.apk"),
        {QStringLiteral("com.example.good"), QStringLiteral("1.2.0"), QStringLiteral("Good")});
    QVERIFY(!package.isEmpty());
}

void BesideOtherTool::expectPathAndDigestOnly()
{
    CPelmoraDlg dialog;
    QVERIFY(Drop(dialog, {package}).isEmpty());
    QCOMPARE(Boxes(dialog), (Shown{package, QString(), Md5Of(package).toUpper(), QString()}));
}

void BesideOtherTool::toolMissing()
{
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/aapt")));
    expectPathAndDigestOnly();
}

void BesideOtherTool::toolSilent()
{
    expectPathAndDigestOnly();
}

void BesideOtherTool::toolWithoutPackageLine()
{
    expectPathAndDigestOnly();
}

void BesideOtherTool::fileWithoutDigest_data()
{
    QTest::addColumn<QString>("path");
    const auto file = [this](const char *name, qint64 size) {
        QFile f(directory.filePath(QString::fromUtf8(name)));
        return f.open(QIODevice::WriteOnly) && f.resize(size) ? f.fileName() : QString();
    };
    QTest::newRow("empty") << file("empty.apk", 0);
    QTest::newRow("4 GiB") << file("huge.apk", qint64(1) << 32);
    QDir(directory.path()).mkdir(QStringLiteral("folder.apk"));
    QTest::newRow("folder") << directory.filePath(QStringLiteral("folder.apk"));
}

// The tool vouches for the package, but the file gives no digest: the rest is still shown.
void BesideOtherTool::fileWithoutDigest()
{
    QFETCH(QString, path);
    QVERIFY(!path.isEmpty());
    CPelmoraDlg dialog;
    QVERIFY(Drop(dialog, {path}).isEmpty());
    QCOMPARE(Boxes(dialog),
             (Shown{path, QStringLiteral("com.example.fake"), QString(), QStringLiteral("1.0")}));
}

void BesideOtherTool::expectDamaged(const QString &path)
{
    CPelmoraDlg dialog;
    const QList<Message> messages = Drop(dialog, {path});
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().text, QStringLiteral("apk类型已经损坏"));
    QCOMPARE(Boxes(dialog), Shown{});
}

// A file that takes a while to hash, so the tool speaks while it is being read.
QString BesideOtherTool::largePackage()
{
    QFile file(directory.filePath(QStringLiteral("large.apk")));
    return file.open(QIODevice::WriteOnly) && file.resize(qint64(256) << 20) ? file.fileName()
                                                                             : QString();
}

void BesideOtherTool::toolSaysError()
{
    expectDamaged(package);
}

void BesideOtherTool::toolSaysErrorWhileHashing()
{
    expectDamaged(largePackage());
}

// A package line is no verdict from a tool that then crashed or was killed.
void BesideOtherTool::toolKilled()
{
    expectDamaged(package);
}

// A tool still running when its time is up is killed, and its package line vouches for nothing.
void BesideOtherTool::toolNeverEnds()
{
    const InspectionResult result = InspectPackage(QFile::encodeName(package), InspectionRead::Md5,
                                                   nullptr, std::chrono::milliseconds(300));
    QCOMPARE(result.outcome, InspectionOutcome::Damaged);
    QCOMPARE(result.message, QStringLiteral("apk类型已经损坏"));
    QCOMPARE(result.reason, QStringLiteral("工具超时"));
    QVERIFY(!result.package);
}

// A tool that writes without end is killed once it has written past the cap, long before its
// time is up; the window says the package is damaged.
void BesideOtherTool::toolWritesWithoutEnd()
{
    expectDamaged(package);
    QCOMPARE(InspectPackage(QFile::encodeName(package)).reason, QStringLiteral("工具输出超过上限"));
}

// Everything the tool writes while the file is hashed reaches the inspection, in order.
void BesideOtherTool::toolFloodsWhileHashing()
{
    const QString log = directory.filePath(QStringLiteral("sent"));
    qputenv("FAKE_TOOL_LOG", QFile::encodeName(log));
    const QString path = largePackage();
    CPelmoraDlg dialog;
    QVERIFY(Drop(dialog, {path}).isEmpty());
    QVERIFY(dialog.inspectedPackage());
    QFile sent(log);
    QVERIFY(sent.open(QIODevice::ReadOnly));
    const QByteArray expected = sent.readAll();
    QVERIFY(expected.size() > (1 << 20));
    QVERIFY(dialog.inspectedPackage()->toolOutput == expected);
    QCOMPARE(Boxes(dialog).md5, Md5Of(path).toUpper());
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    if (RunningInCopy()) {
        BesideOtherTool test;
        return QTest::qExec(&test, argc, argv);
    }
    InspectDroppedFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "InspectDroppedFileTest.moc"
