// `pelmora --report` as a script runs it: the real program on packages built and signed here,
// judged by nothing but its output and its exit status; also a copy of it beside the tool alone,
// without the formats module.
#include "CompactTable.h"
#include "HostilePackages.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// How a row runs the program.
enum Setup
{
    Plain,
    Swapped,         // while a helper swaps another file in and out
    NoModule,        // copied beside the tool, without the formats module
    KeptWriting,     // while a helper that mapped the package before keeps writing it
    KeptWritingCopy, // the same, the program unable to take a lease on the file
    OpenedWhileRead, // a helper opens the package for writing while the program reads it
    FullDisk,        // its standard output on a full disk
    NotJsonLines,    // its output file holding a record, a line of text and part of a record
    Locked,          // its output file locked by another process
};

// How an output file to resume starts out.
enum Start
{
    Absent,
    Cut,            // the first records of the whole run, then half of the next
    OtherPaths,     // a failing record of a path the run does not cover
    Killed,         // killed by SIGKILL at random moments, resumed each time
    DiskFills,      // the disk filling in the middle of a record
    AfterSomeShown, // the first records, then resumed on a terminal
};

// The name of the output file in the test's folder.
const QString OutputName = QStringLiteral("out.jsonl");

// The letter of the label that a helper writes through its mapping, and what it writes there.
const QString MappedLabel = QStringLiteral("Mapped A");
constexpr char Written = 'Z';

// How a lease on the file with inode `inode` held by process `pid` stands in /proc/locks:
// "ACTIVE", "BREAKING", or empty when there is none.
QByteArray LeaseState(qint64 pid, ino_t inode)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 5 && fields.at(1) == "LEASE" && fields.at(4).toLongLong() == pid &&
            fields.at(5).endsWith(':' + QByteArray::number(quint64(inode))))
            return fields.at(2);
    }
    return {};
}

// Waits up to 30 s for `done`.
bool WaitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

void StartPelmora(QProcess &pelmora, const QStringList &arguments, const QString &directory,
                  const QString &program = QStringLiteral(PELMORA_PROGRAM),
                  const QString &standardOutput = {})
{
    pelmora.setWorkingDirectory(directory);
    if (!standardOutput.isEmpty())
        pelmora.setStandardOutputFile(standardOutput);
    // No display: the report must not need one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    pelmora.setProcessEnvironment(environment);
    pelmora.start(program, arguments);
}

Run Finished(QProcess &pelmora)
{
    if (!pelmora.waitForFinished(-1) || pelmora.exitStatus() != QProcess::NormalExit)
        return {};
    return {pelmora.exitCode(), pelmora.readAllStandardOutput(), pelmora.readAllStandardError()};
}

Run Pelmora(const QStringList &arguments, const QString &directory,
            const QString &program = QStringLiteral(PELMORA_PROGRAM),
            const QString &standardOutput = {})
{
    QProcess pelmora;
    StartPelmora(pelmora, arguments, directory, program, standardOutput);
    return Finished(pelmora);
}

QByteArray Output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

QString FirstWord(const QString &program, const QString &path)
{
    return QString::fromLatin1(Output(program, {path}).split(' ').first());
}

// The value at `path` in `record`: keys and array indexes joined by '/'.
QJsonValue ValueAt(const QJsonObject &record, const QString &path)
{
    QJsonValue value = record;
    for (const QString &step : path.split(u'/')) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}
// What a record names: package, version name and label.
using Identity = QStringList;

QList<QJsonObject> Records(const QByteArray &jsonLines)
{
    QList<QJsonObject> records;
    for (const QByteArray &line : jsonLines.split('\n'))
        if (!line.isEmpty())
            records.append(QJsonDocument::fromJson(line).object());
    return records;
}

// The file a record names, as the file system's bytes.
QByteArray PathOf(const QJsonObject &record)
{
    return record.contains(QStringLiteral("pathHex"))
               ? QByteArray::fromHex(record.value(QStringLiteral("pathHex")).toString().toLatin1())
               : record.value(QStringLiteral("path")).toString().toUtf8();
}

// The lines of JSON Lines, sorted: a run's records whatever their order. A last line without its
// '\n' is one of them.
QByteArrayList SortedLines(const QByteArray &jsonLines)
{
    QByteArrayList lines = jsonLines.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Each line once.
QByteArrayList Distinct(QByteArrayList lines)
{
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

bool WriteList(const QString &path, const QByteArrayList &entries, char separator)
{
    return WriteFile(path, entries.join(separator) + separator);
}

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void report_data();
    void report();
    void resume_data();
    void resume();
    void shards_data();
    void shards();
    void cleanupTestCase();

private:
    void buildHostilePackages(const TestKey &key);
    void buildListedCorpus();
    // Runs a resumable report into `output`, which takes `records` records, killing it by
    // SIGKILL at random moments and resuming it each time, then once until it ends by itself;
    // returns that run's exit status.
    int runKilled(const QStringList &arguments, const QString &output, int records);
    void checkSwappedRecords(const QList<QJsonObject> &records);
    // Each record of a file that changed while it was read is the whole of one of `contents`, or
    // refused; `readAtAll` of them were read.
    void checkOneContentEach(const QList<QJsonObject> &records, const QSet<QStringList> &contents,
                             int readAtAll = 0);
    // Runs the program on `file`, stops it once it holds its lease, has a helper open the file
    // for writing (which waits on the lease), and lets the program go on.
    Run runOpenedWhileRead(const QStringList &arguments, const QString &file);
    // The program copied into a folder of its own beside a link to the tool, without the module.
    QString copiedAlone();

    QTemporaryDir directory;
    QString certificateSha256; // as openssl prints it: upper case with colons
    QString rotatedSha256;     // of the key rotated to, which signs for API 33 and later
    qint64 codeSize = 0;       // the DEX files of holdings/coded.apk, uncompressed
    // By file name, for the packages that are not the report's own.
    QHash<QString, Identity> identities;
    // Absolute paths of "listed/" and "texts/".
    QByteArrayList listed;
    QByteArrayList passing; // those of "listed/" whose records pass
    QByteArrayList texts;
    // Uninterrupted runs on standard output of "all.list" and of "passing.list".
    QByteArray allRecords;
    QByteArray passingRecords;
    QByteArray textRecords; // of "texts.list"
    QByteArray otherRecord; // the failing record of a package outside "listed/"
};

void ReportTest::initTestCase()
{
    const QDir corpus(directory.filePath(QStringLiteral("corpus")));
    QVERIFY(corpus.mkpath(QStringLiteral("deeper")));
    const QString good = BuildTestPackage(
        corpus.path(), QStringLiteral("good.apk"),
        {QStringLiteral("org.pelmora.report"), QStringLiteral("3.1"), QStringLiteral("报告")});
    QVERIFY(!good.isEmpty());
    const TestKey key = MakeTestKey(directory.path(), QStringLiteral("report"));
    QVERIFY(!key.certificateSha256.isEmpty());
    certificateSha256 = key.certificateSha256;
    QVERIFY(SignTestPackage(good, corpus.filePath(QStringLiteral("deeper/signed.apk")), key));
    // Written and closed: a file still open for writing is damaged, however it reads.
    QVERIFY(WriteFile(corpus.filePath(QStringLiteral("damaged.apk")), QByteArray(4000, 'z')));
    QVERIFY(WriteFile(corpus.filePath(QStringLiteral("notes.txt")), "not a package"));
    // v3 signers by platform: the first key for API 24–32, the one rotated to for 33 and later.
    const TestKey rotated = MakeTestKey(directory.path(), QStringLiteral("rotated"));
    rotatedSha256 = rotated.certificateSha256;
    const QString both = directory.filePath(QStringLiteral("both.apk"));
    QVERIFY(SignTestPackage(good, both, key));
    const QByteArray first = CertificateDer(key.certificate);
    const QByteArray second = CertificateDer(rotated.certificate);
    const QByteArray byPlatform =
        WithBlockPairs(ReadFile(both), [&](quint32 id, const QByteArray &value) {
            constexpr quint32 V3Id = 0xf05368c0;
            if (id != V3Id)
                return BlockPair(id, value);
            SignerParts older = FirstSignerParts(value, true);
            older.minSdk = 24;
            older.maxSdk = 32;
            SignerParts newer = older;
            newer.minSdk = 33;
            newer.maxSdk = 0x7fffffff;
            newer.attributes = LineageAttribute({first, second}, key.key);
            return BlockPair(id, SchemeValue({CraftSigner(older, key.key, first),
                                              CraftSigner(newer, rotated.key, second)}));
        });
    QVERIFY(WriteFile(directory.filePath(QStringLiteral("rotated.apk")), byPlatform));
    // "你好" in GBK: a name whose bytes do not decode.
    QVERIFY(::link(QFile::encodeName(good).constData(),
                   QFile::encodeName(corpus.path()) + "/\xc4\xe3\xba\xc3.apk") == 0);
    // Packages of newer toolchains, unsigned and signed.
    const QDir newer(directory.filePath(QStringLiteral("newer")));
    QVERIFY(newer.mkpath(QStringLiteral(".")));
    const QString refused = BuildTestPackage(
        newer.path(), QStringLiteral("refused.apk"),
        {QStringLiteral("org.example.refused"), QStringLiteral("5.0"), QStringLiteral("Refused")},
        RefusedTableContents(QStringLiteral("拒绝")));
    QVERIFY(!refused.isEmpty());
    QVERIFY(SignTestPackage(refused, newer.filePath(QStringLiteral("refused-signed.apk")), key));
    for (const char *name : {"aapt2-compact-entries", "android15-rom-app"}) {
        QVERIFY(QFile::copy(CompactEntriesPackage(name),
                            newer.filePath(QLatin1String(name) + QStringLiteral(".apk"))));
        QVERIFY(SignTestPackage(CompactEntriesPackage(name),
                                newer.filePath(QLatin1String(name) + QStringLiteral("-signed.apk")),
                                key));
    }
    identities = {
        {QStringLiteral("refused-signed.apk"),
         {QStringLiteral("org.example.refused"), QStringLiteral("5.0"), QStringLiteral("Refused")}},
        {QStringLiteral("aapt2-compact-entries-signed.apk"),
         {QStringLiteral("com.ibotpeaches.issue3366"), QString(), QStringLiteral("Issue3366")}},
        {QStringLiteral("android15-rom-app-signed.apk"),
         {QStringLiteral("com.ibotpeaches.compactentries"), QStringLiteral("15"),
          QStringLiteral("CompactEntries")}},
    };
    // What a package holds: two DEX files and a Kotlin module's marker, alone and as the base
    // of a flat .apks; permissions of the platform, its own (labelled through its table, in the
    // old signatureOrSystem) and another app's.
    const QDir holdings(directory.filePath(QStringLiteral("holdings")));
    QVERIFY(holdings.mkpath(QStringLiteral(".")));
    const QByteArray firstDex = AssembleDex(directory.path(), QStringLiteral("first"), 26,
                                            {{"First", 3, 4}, {"Second", 0, 1}});
    const QByteArray secondDex =
        AssembleDex(directory.path(), QStringLiteral("second"), 28, {{"Third", 2, 0}});
    QVERIFY(!firstDex.isEmpty() && !secondDex.isEmpty());
    codeSize = firstDex.size() + secondDex.size();
    PackageContents coded;
    coded.storedEntries = {{QStringLiteral("classes.dex"), firstDex},
                           {QStringLiteral("classes2.dex"), secondDex},
                           {QStringLiteral("META-INF/app_release.kotlin_module"), "k"}};
    // A launcher opened by its filter and a provider whose reads no permission guards.
    coded.applicationAttributes = QStringLiteral("android:usesCleartextTraffic='false'");
    coded.applicationElements = QStringLiteral(
        "<activity android:name='.Start'><intent-filter>"
        "<action android:name='android.intent.action.MAIN'/>"
        "<category android:name='android.intent.category.LAUNCHER'/></intent-filter></activity>"
        "<provider android:name='org.pelmora.Store' android:exported='true' "
        "android:authorities='org.pelmora.store;org.pelmora.backup' "
        "android:writePermission='org.pelmora.WRITE'/>");
    coded.manifestElements = QStringLiteral(
        "<permission android:name='org.pelmora.report.OWN' android:label='@string/own' "
        "android:protectionLevel='signatureOrSystem' android:permissionGroup='org.pelmora.G'/>"
        "<uses-permission android:name='android.permission.CAMERA'/>"
        "<uses-permission android:name='android.permission.INTERNET' android:maxSdkVersion='28'/>"
        "<uses-permission android:name='org.pelmora.report.OWN'/>"
        "<uses-permission android:name='android.permission.CAMERA'/>"
        "<uses-permission android:name='org.pelmora.other.UNKNOWN'/>");
    coded.resources = {{QStringLiteral("values/own.xml"),
                        "<resources><string name='own'>Own</string></resources>"},
                       {QStringLiteral("values-zh-rCN/own.xml"),
                        "<resources><string name='own'>自己的</string></resources>"}};
    const QString codedPackage = BuildTestPackage(
        holdings.path(), QStringLiteral("coded.apk"),
        {QStringLiteral("org.pelmora.report"), QStringLiteral("3.1"), QStringLiteral("报告")},
        coded);
    QVERIFY(!codedPackage.isEmpty());
    QVERIFY(BuildTestZip(holdings.filePath(QStringLiteral("coded.apks")),
                         {{QStringLiteral("base.apk"), ReadFile(codedPackage)}}, true));
    // A bundle by its name that holds no APK at all.
    QVERIFY(BuildTestZip(holdings.filePath(QStringLiteral("nobase.apks")),
                         {{QStringLiteral("readme.txt"), "no APK here"}}));
    buildHostilePackages(key);
    buildListedCorpus();
}

// Links to the packages above for resumed runs, in "listed/", and to a text file for shards, in
// "texts/" (reported without being read, so a run over many costs little); each has a name in
// GBK and one with a line break. Their lists, NUL-separated: "all.list" and "texts.list" (one
// path twice, one relative to the test's folder), "passing.list", "other.list".
void ReportTest::buildListedCorpus()
{
    const QByteArray corpus = QFile::encodeName(directory.filePath(QStringLiteral("corpus")));
    const auto link = [&](const char *folder, const QByteArrayList &sources, int count,
                          const char *extension) {
        QByteArrayList names;
        for (int i = 0; i < count; ++i)
            names.append("p" + QByteArray::number(i).rightJustified(2, '0') + extension);
        names +=
            {QByteArray("\xc4\xe3\xba\xc3") + extension, "line\nbreak" + QByteArray(extension)};
        const QByteArray path = QFile::encodeName(directory.filePath(QLatin1String(folder)));
        QByteArrayList links;
        if (!QDir().mkpath(QFile::decodeName(path)))
            return links;
        for (qsizetype i = 0; i < names.size(); ++i)
            if (::link(sources[i % sources.size()].constData(),
                       (path + '/' + names[i]).constData()) == 0)
                links.append(path + '/' + names[i]);
        return links;
    };
    const QByteArray damaged = corpus + "/damaged.apk";
    const QByteArrayList packages = {
        corpus + "/good.apk", corpus + "/deeper/signed.apk", damaged,
        QFile::encodeName(directory.filePath(QStringLiteral("hostile/error-label.apk")))};
    listed = link("listed", packages, 14, ".apk");
    texts = link("texts", {corpus + "/notes.txt"}, 62, ".txt");
    QCOMPARE(listed.size() + texts.size(), 80);
    for (qsizetype i = 0; i < listed.size(); ++i)
        if (packages[i % packages.size()] != damaged)
            passing.append(listed[i]);
    // Each list names one path twice and one relative to the test's folder.
    const auto write = [&](const char *name, const QByteArrayList &paths) {
        QByteArrayList entries = paths;
        entries.append(paths.first());
        entries[1] = entries[1].mid(QFile::encodeName(directory.path()).size() + 1);
        return WriteList(directory.filePath(QLatin1String(name)), entries, '\0');
    };
    QVERIFY(write("all.list", listed) && write("texts.list", texts));
    QVERIFY(WriteList(directory.filePath(QStringLiteral("passing.list")), passing, '\0'));
    QVERIFY(WriteList(directory.filePath(QStringLiteral("other.list")), {damaged}, '\0'));
    const auto whole = [&](const char *list) {
        return Pelmora({QStringLiteral("--report"), QStringLiteral("--json"),
                        QStringLiteral("--files-from"), QLatin1String(list)},
                       directory.path());
    };
    const QList<Run> runs = {whole("all.list"), whole("passing.list"), whole("other.list"),
                             whole("texts.list")};
    QCOMPARE((QList<int>{runs[0].exitCode, runs[1].exitCode, runs[2].exitCode, runs[3].exitCode}),
             (QList<int>{1, 0, 1, 1}));
    allRecords = runs[0].out;
    passingRecords = runs[1].out;
    otherRecord = runs[2].out;
    textRecords = runs[3].out;
    QCOMPARE(Records(allRecords).size(), listed.size() + 1);
    QCOMPARE(Records(textRecords).size(), texts.size() + 1);
}

// Packages made to mislead the report, in "hostile/".
void ReportTest::buildHostilePackages(const TestKey &key)
{
    const QString hostile = directory.filePath(QStringLiteral("hostile"));
    QVERIFY(QDir().mkpath(hostile));
    const TestPackage package{QStringLiteral("org.pelmora.report"), QStringLiteral("3.1"),
                              QStringLiteral("报告")};
    const auto build = [&](const QString &name, const TestPackage &which,
                           const PackageContents &contents, bool sign) {
        const QString built =
            BuildTestPackage(hostile, name + QStringLiteral(".unsigned"), which, contents);
        const QString path = QDir(hostile).filePath(name);
        return !built.isEmpty() &&
               (sign ? SignTestPackage(built, path, key) : QFile::rename(built, path));
    };
    // aapt stops at a permission whose name is a resource, before the permissions after it.
    PackageContents permission;
    permission.manifestElements =
        QStringLiteral("<uses-permission android:name='android.permission.INTERNET'/>"
                       "<uses-permission android:name='@string/perm'/>"
                       "<uses-permission android:name='android.permission.RECORD_AUDIO'/>");
    permission.resources = {
        {QStringLiteral("values/perm.xml"),
         "<resources><string name='perm'>android.permission.READ_SMS</string></resources>"}};
    QVERIFY(build(QStringLiteral("permission-reference.apk"), package, permission, true));
    // A permission it declares and asks for whose name breaks the line to forge a count, which
    // aapt would not write: a name of the same length rewritten in the manifest's strings.
    PackageContents forgedCount;
    forgedCount.manifestElements =
        QStringLiteral("<uses-sdk android:minSdkVersion='21' android:targetSdkVersion='29'/>"
                       "<permission android:name='org.pelmora.A_bcdefghij' "
                       "android:protectionLevel='dangerous'/>"
                       "<uses-permission android:name='org.pelmora.A_bcdefghij'/>");
    forgedCount.rewriteManifest = [](const QByteArray &xml) {
        const auto utf16 = [](const QString &text) {
            return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        };
        return QByteArray(xml).replace(utf16(QStringLiteral("A_bcdefghij")),
                                       utf16(QStringLiteral("A\n危险权限: 0 个")));
    };
    QVERIFY(build(QStringLiteral("permission-lines.apk"), package, forgedCount, false));
    // A word of the tool's complaints in a value, signed and not.
    const TestPackage reporter{package.packageName, package.versionName,
                               QStringLiteral("ERROR Reporter")};
    QVERIFY(build(QStringLiteral("error-label.apk"), reporter, {}, true));
    QVERIFY(build(QStringLiteral("error-label-unsigned.apk"), reporter, {}, false));
    // The same permission after 120 others: the tool's output, buffered by 4 KiB, is cut before
    // its complaint arrives, so that the complaint lands in the middle of a line.
    PackageContents late;
    for (int permission = 1; permission <= 120; ++permission)
        late.manifestElements +=
            QStringLiteral("<uses-permission android:name='org.pelmora.permission.P%1'/>")
                .arg(permission);
    late.manifestElements += permission.manifestElements;
    late.resources = permission.resources;
    QVERIFY(build(QStringLiteral("late-permission-reference.apk"), package, late, true));
    QProcess badging;
    badging.setProcessChannelMode(QProcess::MergedChannels);
    badging.start(QStringLiteral(SYSTEM_AAPT),
                  {QStringLiteral("dump"), QStringLiteral("badging"),
                   QDir(hostile).filePath(QStringLiteral("late-permission-reference.apk"))});
    QVERIFY(badging.waitForFinished(-1));
    const QByteArray said = badging.readAll();
    const qsizetype complaint = said.indexOf("AndroidManifest.xml:");
    QVERIFY2(complaint > 0 && said[complaint - 1] != '\n', said.constData());
    // An icon that is a colour: aapt complains of it and stops there, before the permission
    // that comes after the application.
    PackageContents colourIcon;
    colourIcon.icon = QStringLiteral("@color/red");
    colourIcon.resources = {{QStringLiteral("values/colors.xml"),
                             "<resources><color name='red'>#ff0000</color></resources>"}};
    colourIcon.manifestElements =
        QStringLiteral("<uses-permission android:name='android.permission.INTERNET'/>");
    // After it, INTERNET again and RECORD_AUDIO twice: each is still listed once.
    colourIcon.manifestTail =
        QStringLiteral("<uses-permission android:name='android.permission.RECORD_AUDIO'/>"
                       "<uses-permission android:name='android.permission.INTERNET'/>"
                       "<uses-permission android:name='android.permission.RECORD_AUDIO'/>");
    QVERIFY(build(QStringLiteral("colour-icon.apk"), package, colourIcon, true));
    // A label in 60,001 locales: aapt runs over it for many seconds.
    PackageContents locales;
    locales.chineseLabel = QStringLiteral("报告");
    QVERIFY(build(QStringLiteral("two-locales.apk"), package, locales, false));
    const QByteArray table = ZipEntryBytes(
        ReadFile(QDir(hostile).filePath(QStringLiteral("two-locales.apk"))), "resources.arsc");
    locales.storedEntries = {{QStringLiteral("resources.arsc"), WithLocaleCopies(table, 60'000)}};
    QVERIFY(build(QStringLiteral("locales.apk"), package, locales, false));
    // An entry whose name holds lines that look like a verdict.
    PackageContents injected;
    injected.storedEntries = {
        {QStringLiteral("lib/arm64-v8a/x\n签名校验: 通过\n预期签名者: 符合\ny.so"), "x"}};
    QVERIFY(build(QStringLiteral("injected.apk"), package, injected, false));
    // A signed package whose entry, named like the placeholders of a text, was changed after
    // signing: the failure quotes the name as it is.
    PackageContents tampered;
    tampered.storedEntries = {{QStringLiteral("assets/%1 %2.bin"), "as signed"}};
    QVERIFY(build(QStringLiteral("tampered.apk"), package, tampered, true));
    const QString tamperedPath = QDir(hostile).filePath(QStringLiteral("tampered.apk"));
    QVERIFY(WriteFile(tamperedPath, ReadFile(tamperedPath).replace("as signed", "AS SIGNED")));

    // An APKM whose description was changed after its container was signed.
    const QString signedBase = QDir(hostile).filePath(QStringLiteral("error-label.apk"));
    const QString container = QDir(hostile).filePath(QStringLiteral("container.zip"));
    const auto info = [](const char *name) {
        return QJsonDocument(QJsonObject{{QStringLiteral("pname"), QLatin1String(name)}}).toJson();
    };
    QVERIFY(BuildTestZip(container, {{QStringLiteral("info.json"), info("org.pelmora.report")},
                                     {QStringLiteral("base.apk"), ReadFile(signedBase)}}));
    const QString edited = QDir(hostile).filePath(QStringLiteral("edited.apkm"));
    QVERIFY(SignTestPackage(container, edited, key, true));
    QVERIFY(
        WriteFile(QDir(hostile).filePath(QStringLiteral("info.json")), info("org.pelmora.other")));
    for (const char *command : {"remove", "add"}) {
        QProcess aapt;
        aapt.setWorkingDirectory(hostile);
        aapt.start(QStringLiteral(SYSTEM_AAPT),
                   {QLatin1String(command), edited, QStringLiteral("info.json")});
        QVERIFY(aapt.waitForFinished(-1) && aapt.exitCode() == 0);
    }

    // The two files a helper swaps in and out under one name while the report reads it: an
    // unsigned package and a signed one of another name.
    QVERIFY(build(
        QStringLiteral("unsigned.apk"),
        {QStringLiteral("org.pelmora.unsigned"), QStringLiteral("6.6"), QStringLiteral("未签名")},
        {}, false));
    QVERIFY(QFile::copy(directory.filePath(QStringLiteral("corpus/deeper/signed.apk")),
                        QDir(hostile).filePath(QStringLiteral("signed.apk"))));

    // A package another program writes through a shared mapping: the last letter of its label
    // in the resource table, which the signatures cover. A copy of it belongs to another user, so
    // that a program without CAP_LEASE gets no lease on it. And a package that takes a while to
    // read, 128 MiB of zeros more, a hole in the file.
    QVERIFY(build(QStringLiteral("mapped.apk"),
                  {QStringLiteral("org.pelmora.mapped"), QStringLiteral("1.0"), MappedLabel}, {},
                  true));
    const QString mapped = QDir(hostile).filePath(QStringLiteral("mapped.apk"));
    QVERIFY(LabelOffset(mapped, MappedLabel) > 0);
    QVERIFY(QFile::copy(mapped, QDir(hostile).filePath(QStringLiteral("others.apk"))));
    const QString large = QDir(hostile).filePath(QStringLiteral("large.apk"));
    QVERIFY(QFile::copy(QDir(hostile).filePath(QStringLiteral("unsigned.apk")), large) &&
            AppendZeroEntry(large, "assets/zeros.bin", 128 << 20));
}

// Each record is the whole of one file: its name, label, MD5 and verdict, so "通过" only ever
// goes with the identity of the file that was signed. Or it is refused, for a change it saw.
void ReportTest::checkOneContentEach(const QList<QJsonObject> &records,
                                     const QSet<QStringList> &contents, int readAtAll)
{
    QCOMPARE(records.size(), 24);
    int read = 0;
    for (const QJsonObject &record : records) {
        const QString outcome = record.value(QStringLiteral("outcome")).toString();
        QVERIFY2(outcome == QStringLiteral("ok") || outcome == QStringLiteral("damaged"),
                 qPrintable(outcome));
        if (outcome != QStringLiteral("ok")) {
            QCOMPARE(record.value(QStringLiteral("reason")).toString(),
                     QStringLiteral("文件在检查期间被修改"));
            continue;
        }
        ++read;
        const QStringList shown = {record.value(QStringLiteral("package")).toString(),
                                   record.value(QStringLiteral("label")).toString(),
                                   record.value(QStringLiteral("md5")).toString(),
                                   ValueAt(record, QStringLiteral("signature/verdict")).toString()};
        QVERIFY2(contents.contains(shown), qPrintable(shown.join(u' ')));
    }
    QVERIFY(read >= readAtAll);
}

Run ReportTest::runOpenedWhileRead(const QStringList &arguments, const QString &file)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(directory.filePath(file)).constData(), &info) != 0)
        return {};
    // Stopped before its read is half done, it cannot have judged the file yet; a machine too
    // busy to stop it in time runs it again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess pelmora;
        StartPelmora(pelmora, arguments, directory.path());
        const qint64 pid = pelmora.processId();
        if (!WaitFor([&] { return !LeaseState(pid, info.st_ino).isEmpty(); }))
            return {};
        ::kill(pid_t(pid), SIGSTOP);
        if (BytesReadBy(QString::number(pid)) > info.st_size / 2) {
            ::kill(pid_t(pid), SIGCONT);
            Finished(pelmora);
            continue;
        }
        QProcess writer;
        writer.start(QStringLiteral(MAPPING_WRITER),
                     {QStringLiteral("later"), directory.filePath(file)});
        const bool breaking = WaitFor([&] { return LeaseState(pid, info.st_ino) == "BREAKING"; });
        ::kill(pid_t(pid), SIGCONT);
        // Given up at once: the writer waits no longer than the program takes to notice.
        const bool mapped = writer.waitForReadyRead(10000) && writer.readLine() == "mapped\n";
        const Run run = Finished(pelmora);
        writer.kill();
        writer.waitForFinished();
        return breaking && mapped ? run : Run{};
    }
    return {};
}

QString ReportTest::copiedAlone()
{
    const QDir folder(directory.filePath(QStringLiteral("alone")));
    const QString program = folder.filePath(QStringLiteral("pelmora"));
    if (!folder.exists() &&
        !(folder.mkpath(QStringLiteral(".")) &&
          QFile::copy(QStringLiteral(PELMORA_PROGRAM), program) &&
          QFile::link(QStringLiteral(SYSTEM_AAPT), folder.filePath(QStringLiteral("aapt")))))
        return {};
    return program;
}

void ReportTest::report_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outcomes"); // of the JSON records, in order
    // Values of the first JSON record, by their path ("signature/verdict", "toolComplaints/0");
    // a text after a '*' is how the value ends, after a '^' how it starts.
    QTest::addColumn<QVariantMap>("fields");
    // Lines of the text form, each found by its start; after a '!', a start no line may have.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("setup"); // Setup

    const QString json = QStringLiteral("--json");
    const QString report = QStringLiteral("--report");
    const QString expect = QStringLiteral("--expect-signer");
    const QString signedPackage = QStringLiteral("corpus/deeper/signed.apk");
    const QString ok = QStringLiteral("ok");
    // Byte order: "damaged" < "deeper/signed" < "good" < the GBK name (bytes over 0x80).
    QTest::newRow("a folder, walked in byte order")
        << QStringList{report, json, QStringLiteral("corpus")} << 1
        << QStringList{QStringLiteral("damaged"), ok, ok, ok} << QVariantMap() << QStringList()
        << int(Plain);
    QTest::newRow("files named directly, one of another type")
        << QStringList{report, json, signedPackage, QStringLiteral("corpus/notes.txt")} << 1
        << QStringList{ok, QStringLiteral("wrongType")} << QVariantMap() << QStringList()
        << int(Plain);
    // A verified package's schemes each verified, with no code or reason.
    const QVariant noFailure = QVariant::fromValue(nullptr);
    QTest::newRow("the expected signer, colons and upper case")
        << QStringList{report, json, expect, certificateSha256, signedPackage} << 0
        << QStringList{ok}
        << QVariantMap{{QStringLiteral("signature/code"), noFailure},
                       {QStringLiteral("signature/schemeResults/v2/verdict"),
                        QStringLiteral("verified")},
                       {QStringLiteral("signature/schemeResults/v2/code"), noFailure},
                       {QStringLiteral("signature/schemeResults/v2/reason"), noFailure}}
        << QStringList() << int(Plain);
    QTest::newRow("another signer expected")
        << QStringList{report, json, expect, QString(64, u'a'), signedPackage} << 1
        << QStringList{ok} << QVariantMap() << QStringList() << int(Plain);
    const QString rotated = QStringLiteral("rotated.apk");
    QTest::newRow("the signer for the newest platform expected")
        << QStringList{report, json, expect, rotatedSha256, rotated} << 0 << QStringList{ok}
        << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("the signer for older platforms expected")
        << QStringList{report, json, expect, certificateSha256, rotated} << 1 << QStringList{ok}
        << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("text form") << QStringList{report, signedPackage} << 0 << QStringList()
                               << QVariantMap() << QStringList() << int(Plain);
    // Byte order: "aapt2-compact-entries-signed" < "aapt2-compact-entries.apk", and so on.
    const QString damaged = QStringLiteral("damaged");
    QTest::newRow("packages of newer toolchains: the signed ones shown, from the manifest")
        << QStringList{report, json, QStringLiteral("newer")} << 1
        << QStringList{ok, damaged, ok, damaged, ok, damaged} << QVariantMap() << QStringList()
        << int(Plain);
    QTest::newRow("no path") << QStringList{report, json} << 2 << QStringList() << QVariantMap()
                             << QStringList() << int(Plain);
    QTest::newRow("a malformed digest")
        << QStringList{report, expect, QStringLiteral("12:34"), signedPackage} << 2 << QStringList()
        << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("a tool timeout that is no positive number")
        << QStringList{report, QStringLiteral("--tool-timeout"), QStringLiteral("0"), signedPackage}
        << 2 << QStringList() << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("an unknown option")
        << QStringList{report, QStringLiteral("--frobnicate"), signedPackage} << 2 << QStringList()
        << QVariantMap() << QStringList() << int(Plain);
    const QString shard = QStringLiteral("--shard");
    const QString output = QStringLiteral("--output");
    const QString resume = QStringLiteral("--resume");
    const QString corpus = QStringLiteral("corpus");
    QTest::newRow("a shard past the last")
        << QStringList{report, shard, QStringLiteral("3/3"), output, OutputName, corpus} << 2
        << QStringList() << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("no shards") << QStringList{report, shard,      QStringLiteral("0/0"),
                                              output, OutputName, corpus}
                               << 2 << QStringList() << QVariantMap() << QStringList()
                               << int(Plain);
    QTest::newRow("--resume without --output")
        << QStringList{report, json, resume, corpus} << 2 << QStringList() << QVariantMap()
        << QStringList() << int(Plain);
    QTest::newRow("a list that cannot be read")
        << QStringList{report, QStringLiteral("--files-from"), corpus, output, OutputName} << 2
        << QStringList() << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("an output file that is not JSON Lines")
        << QStringList{report, output, OutputName, resume, corpus} << 2 << QStringList()
        << QVariantMap() << QStringList() << int(NotJsonLines);
    QTest::newRow("an output file another run holds")
        << QStringList{report, output, OutputName, resume, corpus} << 2 << QStringList()
        << QVariantMap() << QStringList() << int(Locked);
    QTest::newRow("standard output on a full disk")
        << QStringList{report, json, corpus} << 3 << QStringList() << QVariantMap() << QStringList()
        << int(FullDisk);

    const auto hostile = [](const char *name) {
        return QStringLiteral("hostile/") + QLatin1String(name);
    };
    const QString verified = QStringLiteral("verified");
    QTest::newRow("the tool stops at a permission that names a resource")
        << QStringList{report, json, hostile("permission-reference.apk")} << 1
        << QStringList{damaged}
        << QVariantMap{{QStringLiteral("signature/verdict"), verified},
                       {QStringLiteral("toolComplaints/0"),
                        QStringLiteral("*ERROR getting 'android:name' attribute: attribute is not "
                                       "a string value")}}
        << QStringList() << int(Plain);
    QTest::newRow("a signed package labelled with the word ERROR")
        << QStringList{report, json, hostile("error-label.apk")} << 0 << QStringList{ok}
        << QVariantMap{{QStringLiteral("label"), QStringLiteral("ERROR Reporter")},
                       {QStringLiteral("toolComplaints"), QVariantList()},
                       {QStringLiteral("signature/verdict"), verified}}
        << QStringList() << int(Plain);
    QTest::newRow("the same unsigned: a word in a value is no complaint")
        << QStringList{report, json, hostile("error-label-unsigned.apk")} << 0 << QStringList{ok}
        << QVariantMap{{QStringLiteral("label"), QStringLiteral("ERROR Reporter")},
                       {QStringLiteral("toolComplaints"), QVariantList()},
                       {QStringLiteral("signature/verdict"), QStringLiteral("unsigned")},
                       {QStringLiteral("signature/code"), QVariant::fromValue(nullptr)},
                       {QStringLiteral("signature/schemeResults"), QVariantMap()}}
        << QStringList() << int(Plain);
    QTest::newRow("a complaint in the middle of a line, signed")
        << QStringList{report, json, hostile("late-permission-reference.apk")} << 1
        << QStringList{damaged}
        << QVariantMap{{QStringLiteral("signature/verdict"), verified},
                       {QStringLiteral("toolComplaints/0"),
                        QStringLiteral("^ERROR getting 'android:name' attribute: attribute is not "
                                       "a string value")}}
        << QStringList() << int(Plain);
    QTest::newRow("an icon that is a colour, a permission after the application")
        << QStringList{report, json, hostile("colour-icon.apk")} << 0 << QStringList{ok}
        << QVariantMap{{QStringLiteral("toolComplaints/0"),
                        QStringLiteral("*ERROR getting 'android:icon' attribute: attribute is not "
                                       "a string value")},
                       {QStringLiteral("permissions"),
                        QVariantList{QStringLiteral("android.permission.INTERNET"),
                                     QStringLiteral("android.permission.RECORD_AUDIO")}},
                       {QStringLiteral("signature/verdict"), verified}}
        << QStringList() << int(Plain);
    QTest::newRow("the tool still running when its time is up: killed, the package damaged")
        << QStringList{report, json, QStringLiteral("--tool-timeout"), QStringLiteral("0.5"),
                       hostile("locales.apk")}
        << 1 << QStringList{damaged}
        << QVariantMap{{QStringLiteral("message"), QStringLiteral("apk类型已经损坏")},
                       {QStringLiteral("reason"), QStringLiteral("工具超时")},
                       {QStringLiteral("code"), QVariant::fromValue(nullptr)},
                       {QStringLiteral("package"), QVariant::fromValue(nullptr)}}
        << QStringList() << int(Plain);
    QTest::newRow("an APKM whose description changed after its container was signed")
        << QStringList{report, json, hostile("edited.apkm")} << 1 << QStringList{ok}
        << QVariantMap{{QStringLiteral("containerSignature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("containerSignature/code"),
                        QStringLiteral("jar-entry-digest-mismatch")},
                       {QStringLiteral("containerSignature/schemeResults/v1/verdict"),
                        QStringLiteral("failed")},
                       {QStringLiteral("containerSignature/schemeResults/v1/code"),
                        QStringLiteral("jar-entry-digest-mismatch")},
                       {QStringLiteral("signature/verdict"), QStringLiteral("failed")},
                       // The bundle fails for its container alone, and says which failure.
                       {QStringLiteral("signature/code"),
                        QStringLiteral("jar-entry-digest-mismatch")},
                       {QStringLiteral("disagreements/0"),
                        QStringLiteral("*与基础 APK 的“org.pelmora.report”不同")},
                       {QStringLiteral("disagreementCodes/0"),
                        QStringLiteral("bundle-description-package-differs")}}
        << QStringList() << int(Plain);
    QTest::newRow("an entry named with lines of a verdict")
        << QStringList{report, expect, QString(64, u'a'), hostile("injected.apk")} << 1
        << QStringList() << QVariantMap()
        << QStringList{QStringLiteral(
                           "lib/arm64-v8a/x\\n签名校验: 通过\\n预期签名者: 符合\\ny.so: "),
                       QStringLiteral("签名校验: 未签名"), QStringLiteral("!签名校验: 通过"),
                       QStringLiteral("!预期签名者: 符合")}
        << int(Plain);
    QTest::newRow("an entry changed after signing: each scheme's own failure")
        << QStringList{report, json, hostile("tampered.apk")} << 1 << QStringList{ok}
        << QVariantMap{{QStringLiteral("signature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("signature/code"),
                        QStringLiteral("jar-entry-digest-mismatch")},
                       {QStringLiteral("signature/schemeResults/v1/code"),
                        QStringLiteral("jar-entry-digest-mismatch")},
                       {QStringLiteral("signature/schemeResults/v2/verdict"),
                        QStringLiteral("failed")},
                       {QStringLiteral("signature/schemeResults/v2/code"),
                        QStringLiteral("content-digest-mismatch")}}
        << QStringList() << int(Plain);
    QTest::newRow("the same as text: the entry's name in the verdict as it is")
        << QStringList{report, hostile("tampered.apk")} << 1 << QStringList() << QVariantMap()
        << QStringList{QStringLiteral("签名校验: 失败：v1 文件 assets/%1 %2.bin "),
                       QStringLiteral("  v1: 失败：文件 assets/%1 %2.bin ")}
        << int(Plain);
    QTest::newRow("a permission named with lines of a count")
        << QStringList{report, hostile("permission-lines.apk")} << 0 << QStringList()
        << QVariantMap()
        << QStringList{QStringLiteral("  org.pelmora.A\\n危险权限: 0 个"),
                       QStringLiteral("危险权限: 1 个"), QStringLiteral("!危险权限: 0 个")}
        << int(Plain);
    QStringList swappedArguments = {report, json};
    for (int i = 0; i < 24; ++i)
        swappedArguments.append(hostile("swapped.apk"));
    QTest::newRow("a file swapped for another while it is read")
        << swappedArguments << 1 << QStringList() << QVariantMap() << QStringList() << int(Swapped);
    // Writes through a mapping made before the file was opened move no change time.
    QTest::newRow("a package another program mapped before and keeps writing")
        << QStringList{report, json, hostile("mapped.apk")} << 1 << QStringList{damaged}
        << QVariantMap{{QStringLiteral("reason"), QStringLiteral("文件正被其他程序写入")},
                       {QStringLiteral("md5"), QVariant::fromValue(nullptr)},
                       {QStringLiteral("signature"), QVariant::fromValue(nullptr)}}
        << QStringList() << int(KeptWriting);
    QStringList othersArguments = {report, json};
    for (int i = 0; i < 24; ++i)
        othersArguments.append(hostile("others.apk"));
    QTest::newRow("the same where no lease is to be had: each record of one content")
        << othersArguments << 1 << QStringList() << QVariantMap() << QStringList()
        << int(KeptWritingCopy);
    QTest::newRow("a package another program opens for writing while it is read")
        << QStringList{report, json, hostile("large.apk")} << 1 << QStringList{damaged}
        << QVariantMap{{QStringLiteral("reason"),
                        QStringLiteral("文件在检查期间被其他程序打开写入")},
                       {QStringLiteral("md5"), QVariant::fromValue(nullptr)}}
        << QStringList() << int(OpenedWhileRead);
    // The inspection needs no module; the signature check does, and says so rather than judge
    // the package over platforms it cannot know.
    // What a package holds; the estimate is held against gzip for every record below.
    const QString sizes = QStringLiteral("--download-size");
    const QVariant null = QVariant::fromValue(nullptr);
    const QVariantMap codedFields{
        {QStringLiteral("dex/files/0/name"), QStringLiteral("classes.dex")},
        {QStringLiteral("dex/files/0/version"), qlonglong(38)},
        {QStringLiteral("dex/files/0/classes"), qlonglong(2)},
        {QStringLiteral("dex/files/0/methods"), qlonglong(5)},
        {QStringLiteral("dex/files/0/fields"), qlonglong(3)},
        {QStringLiteral("dex/files/1/name"), QStringLiteral("classes2.dex")},
        {QStringLiteral("dex/files/1/version"), qlonglong(39)},
        {QStringLiteral("dex/files/1/fields"), qlonglong(2)},
        {QStringLiteral("dex/files/2"), QVariant()},
        {QStringLiteral("frameworks"), QVariantList{QStringLiteral("Kotlin")}},
        {QStringLiteral("sizes/byCategory/code/uncompressed"), qlonglong(codeSize)},
        {QStringLiteral("components/activities/0/name"),
         QStringLiteral("org.pelmora.report.Start")},
        {QStringLiteral("components/activities/0/exported"), true},
        {QStringLiteral("components/activities/0/exportedReason"), QStringLiteral("intent-filter")},
        {QStringLiteral("components/activities/0/intentFilters/0/categories"),
         QVariantList{QStringLiteral("android.intent.category.LAUNCHER")}},
        {QStringLiteral("components/activities/1"), QVariant()},
        {QStringLiteral("components/services"), QVariantList()},
        {QStringLiteral("components/providers/0/permission"), null},
        {QStringLiteral("components/providers/0/writePermission"),
         QStringLiteral("org.pelmora.WRITE")},
        {QStringLiteral("components/providers/0/authorities"),
         QVariantList{QStringLiteral("org.pelmora.store"), QStringLiteral("org.pelmora.backup")}},
        {QStringLiteral("components/providers/1"), QVariant()},
        {QStringLiteral("launcherActivity"), QStringLiteral("org.pelmora.report.Start")},
        {QStringLiteral("flags/usesCleartextTraffic"), false},
        {QStringLiteral("flags/cleartextDecidedBy"), QStringLiteral("manifest")},
        {QStringLiteral("flags/allowBackup"), true},
        {QStringLiteral("flags/networkSecurityConfig"), null},
        {QStringLiteral("findings/0/code"), QStringLiteral("exported-without-permission")},
        {QStringLiteral("findings/0/severity"), QStringLiteral("medium")},
        {QStringLiteral("findings/1/code"), QStringLiteral("play-target-sdk-update")},
        {QStringLiteral("findings/2"), QVariant()},
        {QStringLiteral("permissionDetails/0/name"), QStringLiteral("android.permission.CAMERA")},
        {QStringLiteral("permissionDetails/0/protectionLevel"),
         QStringLiteral("dangerous|instant")},
        {QStringLiteral("permissionDetails/0/definedBy"), QStringLiteral("platform")},
        {QStringLiteral("permissionDetails/0/label"), QStringLiteral("拍摄照片和视频")},
        {QStringLiteral("permissionDetails/0/maxSdkVersion"), null},
        {QStringLiteral("permissionDetails/1/maxSdkVersion"), qlonglong(28)},
        {QStringLiteral("permissionDetails/1/protectionLevel"), QStringLiteral("normal|instant")},
        {QStringLiteral("permissionDetails/2/definedBy"), QStringLiteral("package")},
        {QStringLiteral("permissionDetails/2/protectionLevel"),
         QStringLiteral("signature|privileged")},
        {QStringLiteral("permissionDetails/2/label"), QStringLiteral("自己的")},
        {QStringLiteral("permissionDetails/3/name"), QStringLiteral("org.pelmora.other.UNKNOWN")},
        {QStringLiteral("permissionDetails/3/definedBy"), null},
        {QStringLiteral("permissionDetails/3/protectionLevel"), null},
        {QStringLiteral("permissionDetails/3/label"), null},
        // Then those the tool lists as Android implies them for a package that names no target.
        {QStringLiteral("permissionDetails/4/name"),
         QStringLiteral("android.permission.WRITE_EXTERNAL_STORAGE")},
        {QStringLiteral("permissionDetails/4/protectionLevel"), QStringLiteral("dangerous")},
        {QStringLiteral("declaredPermissions/0/name"), QStringLiteral("org.pelmora.report.OWN")},
        {QStringLiteral("declaredPermissions/0/group"), QStringLiteral("org.pelmora.G")},
        {QStringLiteral("declaredPermissions/0/protectionLevel"),
         QStringLiteral("signature|privileged")},
        {QStringLiteral("declaredPermissions/1"), QVariant()},
        {QStringLiteral("permissionLevelsFrom"), QStringLiteral("Android 10 (API 29)")}};
    QTest::newRow("two DEX files and a framework, the download size asked for")
        << QStringList{report, json, sizes, QStringLiteral("holdings/coded.apk")} << 0
        << QStringList{ok} << codedFields << QStringList() << int(Plain);
    QVariantMap bundleFields = codedFields;
    bundleFields.insert(QStringLiteral("container"), QStringLiteral("splitApks"));
    QTest::newRow("a bundle: what its base holds")
        << QStringList{report, json, sizes, QStringLiteral("holdings/coded.apks")} << 0
        << QStringList{ok} << bundleFields << QStringList() << int(Plain);
    QTest::newRow("a bundle without a base: damaged, why, and its code for scripts")
        << QStringList{report, json, QStringLiteral("holdings/nobase.apks")} << 1
        << QStringList{damaged}
        << QVariantMap{{QStringLiteral("reason"), QStringLiteral("找不到基础 APK")},
                       {QStringLiteral("code"), QStringLiteral("bundle-base-missing")},
                       {QStringLiteral("signature/code"), QStringLiteral("bundle-base-missing")}}
        << QStringList() << int(Plain);
    QTest::newRow("a damaged package: nothing of what it holds")
        << QStringList{report, json, sizes, QStringLiteral("corpus/damaged.apk")} << 1
        << QStringList{damaged}
        << QVariantMap{{QStringLiteral("dex"), null},
                       {QStringLiteral("frameworks"), null},
                       {QStringLiteral("components"), null},
                       {QStringLiteral("launcherActivity"), null},
                       {QStringLiteral("flags"), null},
                       {QStringLiteral("findings"), null},
                       {QStringLiteral("sizes"), null},
                       {QStringLiteral("permissionDetails"), null},
                       {QStringLiteral("declaredPermissions"), null},
                       {QStringLiteral("permissionLevelsFrom"), null}}
        << QStringList() << int(Plain);
    QTest::newRow("what a package holds as text")
        << QStringList{report, sizes, QStringLiteral("holdings/coded.apk")} << 0 << QStringList()
        << QVariantMap()
        << QStringList{QStringLiteral("classes.dex: 版本 38，类 2，方法 5，字段 3，字符串 "),
                       QStringLiteral("  Kotlin"),
                       QStringLiteral("代码: 存储 "),
                       QStringLiteral("估计下载大小: "),
                       QStringLiteral("导出且无权限保护: 2"),
                       QStringLiteral("危险权限: 4 个")}
        << int(Plain);
    QTest::newRow("the download size without a report")
        << QStringList{QStringLiteral("--contents"), sizes, signedPackage} << 2 << QStringList()
        << QVariantMap() << QStringList() << int(Plain);
    QTest::newRow("no formats module: shown, the signature failed and why")
        << QStringList{report, json, hostile("signed.apk")} << 1 << QStringList{ok}
        << QVariantMap{{QStringLiteral("label"), QStringLiteral("报告")},
                       {QStringLiteral("signature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("signature/reason"),
                        QStringLiteral("^失败：无法加载 libpelmora_formats.so：")},
                       {QStringLiteral("signature/code"), QStringLiteral("format-module-missing")}}
        << QStringList() << int(NoModule);
}

void ReportTest::report()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, outcomes);
    QFETCH(QVariantMap, fields);
    QFETCH(QStringList, lines);
    QFETCH(int, setup);
    if (setup == Swapped) {
        // Bursts of renames, each putting one file in place whole, so the name never stands
        // empty, then a pause for a reading that nothing disturbs.
        QProcess swapper;
        swapper.setWorkingDirectory(directory.filePath(QStringLiteral("hostile")));
        swapper.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("while :; do for i in 1 2 3 4 5 6 7 8; do "
                                      "for f in unsigned.apk signed.apk; do "
                                      "ln -f $f next.apk && mv -f next.apk swapped.apk; "
                                      "done; done; sleep 0.1; done")});
        QVERIFY(swapper.waitForStarted());
        QTest::qWait(100);
        const Run run = Pelmora(arguments, directory.path());
        swapper.kill();
        swapper.waitForFinished();
        const QDir hostile(directory.filePath(QStringLiteral("hostile")));
        checkOneContentEach(
            Records(run.out),
            {{QStringLiteral("org.pelmora.unsigned"), QStringLiteral("未签名"),
              FirstWord(QStringLiteral("md5sum"), hostile.filePath(QStringLiteral("unsigned.apk"))),
              QStringLiteral("unsigned")},
             {QStringLiteral("org.pelmora.report"), QStringLiteral("报告"),
              FirstWord(QStringLiteral("md5sum"), hostile.filePath(QStringLiteral("signed.apk"))),
              QStringLiteral("verified")}});
        return;
    }
    if (setup == OpenedWhileRead) {
        const Run run = runOpenedWhileRead(arguments, arguments.last());
        QTEST(run.exitCode, "exitCode");
        const QList<QJsonObject> records = Records(run.out);
        QCOMPARE(records.size(), 1);
        QTEST(QStringList{records.first().value(QStringLiteral("outcome")).toString()}, "outcomes");
        for (auto field = fields.cbegin(); field != fields.cend(); ++field)
            QCOMPARE(ValueAt(records.first(), field.key()).toVariant(), field.value());
        return;
    }
    // The helper writes the label's last letter through its mapping, as built and as 'Z' in turn.
    QProcess writer;
    const auto stopWriter = qScopeGuard([&writer] {
        writer.kill();
        writer.waitForFinished();
    });
    if (setup == KeptWriting || setup == KeptWritingCopy) {
        const QString mapped = directory.filePath(arguments.last());
        const qint64 letter = LabelOffset(mapped, MappedLabel) + 2 * (MappedLabel.size() - 1);
        const QByteArray whole = ReadFile(mapped);
        QByteArray written = whole;
        written[letter] = Written;
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(
                QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        QVERIFY(StartMappingWriter(writer, {QStringLiteral("hold"), mapped, QString::number(letter),
                                            QString(QChar::fromLatin1(whole[letter])),
                                            QString(QChar::fromLatin1(Written))}));
        if (setup == KeptWritingCopy) {
            // Root keeps no lease without CAP_LEASE on a file another user owns.
            if (::geteuid() != 0)
                QSKIP("only root can give a file to another user and run without CAP_LEASE");
            QCOMPARE(::chown(QFile::encodeName(mapped).constData(), 65534, 65534), 0);
            const Run run = Pelmora(QStringList{QStringLiteral("--inh-caps=-lease"),
                                                QStringLiteral("--bounding-set=-lease"),
                                                QStringLiteral(PELMORA_PROGRAM)} +
                                        arguments,
                                    directory.path(),
                                    QStandardPaths::findExecutable(QStringLiteral("setpriv")));
            // The signatures cover the letter written, so only the package as built verifies.
            QString writtenLabel = MappedLabel;
            writtenLabel.back() = QLatin1Char(Written);
            checkOneContentEach(Records(run.out),
                                {{QStringLiteral("org.pelmora.mapped"), MappedLabel, md5(whole),
                                  QStringLiteral("verified")},
                                 {QStringLiteral("org.pelmora.mapped"), writtenLabel, md5(written),
                                  QStringLiteral("failed")}},
                                1);
            return;
        }
    }
    const QString program = setup == NoModule ? copiedAlone() : QStringLiteral(PELMORA_PROGRAM);
    QVERIFY(!program.isEmpty());
    const QString outputFile = directory.filePath(OutputName);
    QFile::remove(outputFile);
    if (setup == NotJsonLines)
        QVERIFY(WriteFile(outputFile, otherRecord + "不是记录\n" + otherRecord.left(40)));
    QFile held(outputFile);
    if (setup == Locked)
        QVERIFY(WriteFile(outputFile, otherRecord) && held.open(QIODevice::ReadOnly) &&
                ::flock(held.handle(), LOCK_EX) == 0);
    const QByteArray before = QFile::exists(outputFile) ? ReadFile(outputFile) : QByteArray();
    const Run run = Pelmora(arguments, directory.path(), program,
                            setup == FullDisk ? QStringLiteral("/dev/full") : QString());
    QTEST(run.exitCode, "exitCode");
    // Said once, however many workers needed the module.
    QCOMPARE(run.err.count("无法加载 libpelmora_formats.so"), setup == NoModule ? 1 : 0);
    if (run.exitCode >= 2) {
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
        // Refused before anything was written.
        QCOMPARE(QFile::exists(outputFile), !before.isEmpty());
        QCOMPARE(before.isEmpty() ? QByteArray() : ReadFile(outputFile), before);
        return;
    }
    if (!arguments.contains(QStringLiteral("--json"))) {
        QVERIFY(run.out.contains("org.pelmora.report"));
        const QStringList printed = QString::fromUtf8(run.out).split(u'\n');
        for (const QString &line : std::as_const(lines)) {
            const bool absent = line.startsWith(u'!');
            const QString start = absent ? line.mid(1) : line;
            const bool found = std::any_of(printed.begin(), printed.end(),
                                           [&](const QString &at) { return at.startsWith(start); });
            QVERIFY2(found != absent,
                     qPrintable(line + QStringLiteral(" in\n") + printed.join(u'\n')));
        }
        return;
    }
    // However many jobs run, the records come in the same order with the same contents.
    QCOMPARE(Pelmora(QStringList{QStringLiteral("--jobs"), QStringLiteral("1")} + arguments,
                     directory.path(), program)
                 .out,
             run.out);
    QCOMPARE(Pelmora(QStringList{QStringLiteral("--jobs"), QStringLiteral("2")} + arguments,
                     directory.path(), program)
                 .out,
             run.out);

    const QList<QJsonObject> records = Records(run.out);
    QStringList seen;
    for (const QJsonObject &record : records) {
        seen.append(record.value(QStringLiteral("outcome")).toString());
        const QByteArray path =
            record.contains(QStringLiteral("pathHex"))
                ? QByteArray::fromHex(record.value(QStringLiteral("pathHex")).toString().toLatin1())
                : record.value(QStringLiteral("path")).toString().toUtf8();
        QVERIFY2(QFile::exists(directory.filePath(QFile::decodeName(path))) ||
                     record.contains(QStringLiteral("pathHex")),
                 path.constData());
        if (seen.last() != QStringLiteral("ok"))
            continue;
        const QString file = directory.filePath(QString::fromUtf8(path));
        if (!record.contains(QStringLiteral("pathHex"))) {
            QCOMPARE(record.value(QStringLiteral("md5")).toString(),
                     FirstWord(QStringLiteral("md5sum"), file));
            QCOMPARE(record.value(QStringLiteral("sha256")).toString(),
                     FirstWord(QStringLiteral("sha256sum"), file));
            QCOMPARE(record.value(QStringLiteral("size")).toInteger(), QFileInfo(file).size());
            // Estimated only when asked for, as gzip -9 -n compresses the file but for the
            // matches two deflaters choose differently: within a tenth of a percent.
            const QJsonValue estimate = ValueAt(record, QStringLiteral("sizes/downloadEstimate"));
            if (arguments.contains(QStringLiteral("--download-size"))) {
                const qint64 gzip =
                    Output(QStandardPaths::findExecutable(QStringLiteral("gzip")),
                           {QStringLiteral("-9"), QStringLiteral("-n"), QStringLiteral("-c"), file})
                        .size();
                QVERIFY2(qAbs(estimate.toInteger() - gzip) <= gzip / 1000,
                         qPrintable(
                             QStringLiteral("%1 against %2").arg(estimate.toInteger()).arg(gzip)));
            } else {
                QVERIFY(estimate.isNull());
            }
            QVERIFY(ValueAt(record, QStringLiteral("sizes/byCategory")).isObject());
        }
        // The hostile packages' records are held to their rows' own fields.
        if (path.startsWith("hostile/"))
            continue;
        const Identity expected = identities.value(
            QFileInfo(file).fileName(),
            {QStringLiteral("org.pelmora.report"), QStringLiteral("3.1"), QStringLiteral("报告")});
        QCOMPARE((Identity{record.value(QStringLiteral("package")).toString(),
                           record.value(QStringLiteral("versionName")).toString(),
                           record.value(QStringLiteral("label")).toString()}),
                 expected);
        const QJsonObject signature = record.value(QStringLiteral("signature")).toObject();
        if (path.endsWith("rotated.apk")) {
            // Each v3 signer says which platforms it signs for, in their order.
            QCOMPARE(signature.value(QStringLiteral("verdict")).toString(),
                     QStringLiteral("verified"));
            const QJsonArray signers = signature.value(QStringLiteral("signers")).toArray();
            QCOMPARE(signers.size(), 2);
            const QJsonObject newer = signers.last().toObject();
            QCOMPARE(signers.first().toObject().value(QStringLiteral("maxSdk")).toInt(), 32);
            QCOMPARE(newer.value(QStringLiteral("certSha256")).toString(),
                     QString(rotatedSha256).remove(u':').toLower());
            QCOMPARE(newer.value(QStringLiteral("minSdk")).toInt(), 33);
            QVERIFY(newer.value(QStringLiteral("maxSdk")).isNull());
            QCOMPARE(record.value(QStringLiteral("expectedSigner")).toBool(), run.exitCode == 0);
            continue;
        }
        if (!path.endsWith("signed.apk")) {
            QCOMPARE(signature.value(QStringLiteral("verdict")).toString(),
                     QStringLiteral("unsigned"));
            continue;
        }
        QCOMPARE(signature.value(QStringLiteral("verdict")).toString(), QStringLiteral("verified"));
        const QJsonArray signers = signature.value(QStringLiteral("signers")).toArray();
        QCOMPARE(signers.size(), 1);
        const QJsonObject signer = signers.first().toObject();
        QCOMPARE(signer.value(QStringLiteral("certSha256")).toString(),
                 QString(certificateSha256).remove(u':').toLower());
        // The v3 signer says from which platform it signs, through the newest.
        QVERIFY(signer.value(QStringLiteral("minSdk")).isDouble());
        QVERIFY(signer.value(QStringLiteral("maxSdk")).isNull());
        if (arguments.contains(QStringLiteral("--expect-signer")))
            QCOMPARE(record.value(QStringLiteral("expectedSigner")).toBool(), run.exitCode == 0);
    }
    QCOMPARE(seen, outcomes);
    for (auto field = fields.cbegin(); field != fields.cend(); ++field) {
        const QJsonValue value = ValueAt(records.first(), field.key());
        const QString text = field.value().toString();
        if (text.startsWith(u'*'))
            QVERIFY2(value.toString().endsWith(text.mid(1)), qPrintable(value.toString()));
        else if (text.startsWith(u'^'))
            QVERIFY2(value.toString().startsWith(text.mid(1)), qPrintable(value.toString()));
        else
            QCOMPARE(value.toVariant(), field.value());
    }
}

void ReportTest::resume_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("start"); // Start
    QTest::addColumn<int>("exitCode");

    const QString all = QStringLiteral("all.list");
    QTest::newRow("no file yet") << all << int(Absent) << 1;
    QTest::newRow("the last line cut") << all << int(Cut) << 1;
    // The exit status covers the records the file held: the one that fails is not the run's.
    QTest::newRow("a record of another path that fails")
        << QStringLiteral("passing.list") << int(OtherPaths) << 1;
    QTest::newRow("killed at random moments") << all << int(Killed) << 1;
    QTest::newRow("the disk fills in the middle of a record") << all << int(DiskFills) << 1;
    QTest::newRow("resumed on a terminal") << all << int(AfterSomeShown) << 1;
}

// A run resumed from an output file in every state a run can leave it in, or a user, ends with
// the records of one uninterrupted run, each path once, beside those of other paths.
void ReportTest::resume()
{
    QFETCH(QString, list);
    QFETCH(int, start);
    const QString output = directory.filePath(OutputName);
    QFile::remove(output);
    const QStringList arguments = {QStringLiteral("--report"),
                                   QStringLiteral("--files-from"),
                                   list,
                                   QStringLiteral("--output"),
                                   OutputName,
                                   QStringLiteral("--resume")};
    const QByteArray whole = list == QStringLiteral("all.list") ? allRecords : passingRecords;
    QByteArrayList expected = Distinct(SortedLines(whole));
    const QByteArrayList inOrder = whole.split('\n');
    constexpr int Shown = 3;
    if (start == Cut)
        QVERIFY(WriteFile(output, inOrder.first(Shown).join('\n') + '\n' +
                                      inOrder[Shown].left(inOrder[Shown].size() / 2)));
    if (start == AfterSomeShown)
        QVERIFY(WriteFile(output, inOrder.first(Shown).join('\n') + '\n'));
    if (start == OtherPaths) {
        QVERIFY(WriteFile(output, otherRecord));
        expected = SortedLines(expected.join('\n') + '\n' + otherRecord);
    }

    int exitCode = -1;
    if (start == Killed) {
        exitCode = runKilled(arguments, output, int(expected.size()));
    } else if (start == AfterSomeShown) {
        // The progress line shows only on a terminal: script gives the run one.
        QProcess terminal;
        terminal.setWorkingDirectory(directory.path());
        terminal.start(
            QStringLiteral("script"),
            {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"),
             QStringLiteral("'%1' '%2'")
                 .arg(QStringLiteral(PELMORA_PROGRAM), arguments.join(QStringLiteral("' '"))),
             QStringLiteral("/dev/null")});
        terminal.closeWriteChannel();
        QVERIFY(terminal.waitForFinished(-1));
        exitCode = terminal.exitCode();
        const qsizetype left = expected.size() - Shown;
        const QByteArray shown = terminal.readAllStandardOutput();
        QVERIFY2(
            shown.contains(QStringLiteral("已检查 %1/%1，已跳过 %2").arg(left).arg(Shown).toUtf8()),
            shown.constData());
    } else {
        if (start == DiskFills) {
            // Writes past 8 KiB come back short, then fail; SIGXFSZ ignored, as the run inherits.
            QProcess limited;
            limited.setWorkingDirectory(directory.path());
            limited.start(QStringLiteral("bash"),
                          QStringList{QStringLiteral("-c"),
                                      QStringLiteral("ulimit -f 8 && trap '' XFSZ && "
                                                     "exec \"$0\" \"$@\""),
                                      QStringLiteral(PELMORA_PROGRAM)} +
                              arguments);
            QVERIFY(limited.waitForFinished(-1));
            QCOMPARE(limited.exitCode(), 3);
            const QByteArray cut = ReadFile(output);
            QVERIFY(cut.size() > 0 && cut.size() <= 8192 && cut.endsWith('\n'));
            for (const QByteArray &line : SortedLines(cut))
                QVERIFY2(expected.contains(line), line.constData());
        }
        exitCode = Pelmora(arguments, directory.path()).exitCode;
    }
    QTEST(exitCode, "exitCode");
    const QByteArray written = ReadFile(output);
    QCOMPARE(SortedLines(written), expected);
    QSet<QByteArray> paths;
    for (const QJsonObject &record : Records(written))
        paths.insert(PathOf(record));
    QCOMPARE(paths.size(), expected.size());
}

int ReportTest::runKilled(const QStringList &arguments, const QString &output, int records)
{
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("kill moments drawn from seed %u", seed);
    QRandomGenerator random(seed);
    const auto written = [&] { return ReadFile(output).count('\n'); };
    // Six kills at least, and more until one came after a record was written.
    int killedWhileWriting = 0;
    int kill = 0;
    for (; kill < 6 || (killedWhileWriting == 0 && kill < 30); ++kill) {
        // Records come in bursts; when every kill so far fell before or after them, start over.
        if (killedWhileWriting == 0 && written() == records)
            QFile::remove(output);
        const qsizetype before = written();
        // A moment among the records still to come, wherever it falls between two writes.
        const qsizetype target =
            before < records ? before + random.bounded(int(records - before)) : records;
        QProcess pelmora;
        pelmora.setWorkingDirectory(directory.path());
        pelmora.start(QStringLiteral(PELMORA_PROGRAM), arguments);
        if (!pelmora.waitForStarted())
            return -1;
        while (pelmora.state() == QProcess::Running && written() < target)
            QTest::qWait(2);
        QTest::qWait(random.bounded(20));
        pelmora.kill();
        pelmora.waitForFinished(-1);
        killedWhileWriting += pelmora.exitStatus() == QProcess::CrashExit && written() > before;
    }
    qInfo("%d of %d kills came after records were written", killedWhileWriting, kill);
    if (killedWhileWriting == 0)
        return -1;
    return Pelmora(arguments, directory.path()).exitCode;
}

void ReportTest::shards_data()
{
    QTest::addColumn<int>("count");
    for (int count = 1; count <= 7; ++count)
        QTest::addRow("%d", count) << count;
}

// The shards of a list partition it: together they hold the records of one run over the whole
// list, none twice, however the list is ordered or written, each in the shard its path's
// SHA-256 puts it in.
void ReportTest::shards()
{
    QFETCH(int, count);
    // The same paths the other way round, one a line; the one whose name holds a line break
    // named on the command line instead, relative to the test's folder.
    const QByteArray lineBreak = texts.last();
    QByteArrayList reversed(texts.crbegin() + 1, texts.crend());
    reversed.append(texts.first());
    QVERIFY(WriteList(directory.filePath(QStringLiteral("reversed.list")), reversed, '\n'));

    QByteArrayList all;
    for (int index = 0; index < count; ++index) {
        QStringList arguments = {QStringLiteral("--report"), QStringLiteral("--json"),
                                 QStringLiteral("--shard"),
                                 QStringLiteral("%1/%2").arg(index).arg(count)};
        if (index % 2 == 0)
            arguments += {QStringLiteral("--files-from"), QStringLiteral("texts.list")};
        else
            arguments += {QStringLiteral("--files-from"), QStringLiteral("reversed.list"),
                          QStringLiteral("--files-from-lines"),
                          QFile::decodeName(lineBreak.mid(lineBreak.indexOf("texts/")))};
        const Run run = Pelmora(arguments, directory.path());
        QVERIFY(run.exitCode == 0 || run.exitCode == 1);
        QVERIFY(run.err.isEmpty());
        for (const QJsonObject &record : Records(run.out)) {
            const QByteArray digest =
                QCryptographicHash::hash(PathOf(record), QCryptographicHash::Sha256);
            QCOMPARE(qFromBigEndian<quint64>(digest.constData()) % quint64(count), quint64(index));
        }
        all += SortedLines(run.out);
    }
    std::sort(all.begin(), all.end());
    QCOMPARE(all, SortedLines(textRecords));
}

void ReportTest::cleanupTestCase()
{
    // QTemporaryDir decodes names, so it could not remove these itself.
    for (const char *name : {"corpus/\xc4\xe3\xba\xc3.apk", "listed/\xc4\xe3\xba\xc3.apk",
                             "texts/\xc4\xe3\xba\xc3.txt"})
        ::unlink(QFile::encodeName(directory.path()) + '/' + name);
}

QTEST_GUILESS_MAIN(ReportTest)
#include "ReportTest.moc"
