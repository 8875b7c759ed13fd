// `pelmora --report` as a script runs it: the real program on packages built and signed here,
// judged by nothing but its output and its exit status; also a copy of it beside the tool alone,
// without the formats module.
#include "CompactTable.h"
#include "HostilePackages.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
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
    Swapped,  // while a helper swaps another file in and out
    NoModule, // copied beside the tool, without the formats module
};

Run Pelmora(const QStringList &arguments, const QString &directory,
            const QString &program = QStringLiteral(PELMORA_PROGRAM))
{
    QProcess pelmora;
    pelmora.setWorkingDirectory(directory);
    // No display: the report must not need one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    pelmora.setProcessEnvironment(environment);
    pelmora.start(program, arguments);
    if (!pelmora.waitForFinished(-1) || pelmora.exitStatus() != QProcess::NormalExit)
        return {};
    return {pelmora.exitCode(), pelmora.readAllStandardOutput(), pelmora.readAllStandardError()};
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

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void report_data();
    void report();
    void cleanupTestCase();

private:
    void buildHostilePackages(const TestKey &key);
    void checkSwappedRecords(const QList<QJsonObject> &records);
    // The program copied into a folder of its own beside a link to the tool, without the module.
    QString copiedAlone();

    QTemporaryDir directory;
    QString certificateSha256; // as openssl prints it: upper case with colons
    QString rotatedSha256;     // of the key rotated to, which signs for API 33 and later
    // By file name, for the packages that are not the report's own.
    QHash<QString, Identity> identities;
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
    QFile damaged(corpus.filePath(QStringLiteral("damaged.apk")));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(4000, 'z')) == 4000);
    QFile notes(corpus.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a package") > 0);
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
    buildHostilePackages(key);
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
    // A word of the tool's complaints in a value, signed and not.
    const TestPackage reporter{package.packageName, package.versionName,
                               QStringLiteral("ERROR Reporter")};
    QVERIFY(build(QStringLiteral("error-label.apk"), reporter, {}, true));
    QVERIFY(build(QStringLiteral("error-label-unsigned.apk"), reporter, {}, false));
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
    const QByteArray table = StoredZipEntry(
        ReadFile(QDir(hostile).filePath(QStringLiteral("two-locales.apk"))), "resources.arsc");
    locales.storedEntries = {{QStringLiteral("resources.arsc"), WithLocaleCopies(table, 60'000)}};
    QVERIFY(build(QStringLiteral("locales.apk"), package, locales, false));
    // An entry whose name holds lines that look like a verdict.
    PackageContents injected;
    injected.storedEntries = {
        {QStringLiteral("lib/arm64-v8a/x\n签名校验: 通过\n预期签名者: 符合\ny.so"), "x"}};
    QVERIFY(build(QStringLiteral("injected.apk"), package, injected, false));

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
}

// Each record of a file swapped while it was read is the whole of one file: its name, its MD5
// and its verdict, so "通过" only ever goes with the signed file's identity. Or it is refused.
void ReportTest::checkSwappedRecords(const QList<QJsonObject> &records)
{
    const QDir hostile(directory.filePath(QStringLiteral("hostile")));
    const QSet<QStringList> wholeFiles = {
        {QStringLiteral("org.pelmora.unsigned"),
         FirstWord(QStringLiteral("md5sum"), hostile.filePath(QStringLiteral("unsigned.apk"))),
         QStringLiteral("unsigned")},
        {QStringLiteral("org.pelmora.report"),
         FirstWord(QStringLiteral("md5sum"), hostile.filePath(QStringLiteral("signed.apk"))),
         QStringLiteral("verified")}};
    QCOMPARE(records.size(), 24);
    for (const QJsonObject &record : records) {
        const QString outcome = record.value(QStringLiteral("outcome")).toString();
        QVERIFY2(outcome == QStringLiteral("ok") || outcome == QStringLiteral("damaged"),
                 qPrintable(outcome));
        if (outcome != QStringLiteral("ok"))
            continue;
        const QStringList shown = {record.value(QStringLiteral("package")).toString(),
                                   record.value(QStringLiteral("md5")).toString(),
                                   ValueAt(record, QStringLiteral("signature/verdict")).toString()};
        QVERIFY2(wholeFiles.contains(shown), qPrintable(shown.join(u' ')));
    }
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
    QTest::newRow("the expected signer, colons and upper case")
        << QStringList{report, json, expect, certificateSha256, signedPackage} << 0
        << QStringList{ok} << QVariantMap() << QStringList() << int(Plain);
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
    QTest::newRow("the same unsigned: any ERROR is damage")
        << QStringList{report, json, hostile("error-label-unsigned.apk")} << 1
        << QStringList{damaged}
        << QVariantMap{{QStringLiteral("signature/verdict"), QStringLiteral("unsigned")}}
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
                       {QStringLiteral("package"), QVariant::fromValue(nullptr)}}
        << QStringList() << int(Plain);
    QTest::newRow("an APKM whose description changed after its container was signed")
        << QStringList{report, json, hostile("edited.apkm")} << 1 << QStringList{ok}
        << QVariantMap{{QStringLiteral("containerSignature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("signature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("disagreements/0"),
                        QStringLiteral("*与基础 APK 的“org.pelmora.report”不同")}}
        << QStringList() << int(Plain);
    QTest::newRow("an entry named with lines of a verdict")
        << QStringList{report, expect, QString(64, u'a'), hostile("injected.apk")} << 1
        << QStringList() << QVariantMap()
        << QStringList{QStringLiteral(
                           "lib/arm64-v8a/x\\n签名校验: 通过\\n预期签名者: 符合\\ny.so: "),
                       QStringLiteral("签名校验: 未签名"), QStringLiteral("!签名校验: 通过"),
                       QStringLiteral("!预期签名者: 符合")}
        << int(Plain);
    QStringList swappedArguments = {report, json};
    for (int i = 0; i < 24; ++i)
        swappedArguments.append(hostile("swapped.apk"));
    QTest::newRow("a file swapped for another while it is read")
        << swappedArguments << 1 << QStringList() << QVariantMap() << QStringList() << int(Swapped);
    // The inspection needs no module; the signature check does, and says so rather than judge
    // the package over platforms it cannot know.
    QTest::newRow("no formats module: shown, the signature failed and why")
        << QStringList{report, json, hostile("signed.apk")} << 1 << QStringList{ok}
        << QVariantMap{{QStringLiteral("label"), QStringLiteral("报告")},
                       {QStringLiteral("signature/verdict"), QStringLiteral("failed")},
                       {QStringLiteral("signature/reason"),
                        QStringLiteral("^失败：无法加载 libpelmora_formats.so：")}}
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
        checkSwappedRecords(Records(run.out));
        return;
    }
    const QString program = setup == NoModule ? copiedAlone() : QStringLiteral(PELMORA_PROGRAM);
    QVERIFY(!program.isEmpty());
    const Run run = Pelmora(arguments, directory.path(), program);
    QTEST(run.exitCode, "exitCode");
    // Said once, however many workers needed the module.
    QCOMPARE(run.err.count("无法加载 libpelmora_formats.so"), setup == NoModule ? 1 : 0);
    if (run.exitCode == 2) {
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
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

void ReportTest::cleanupTestCase()
{
    // QTemporaryDir decodes names, so it could not remove this one itself.
    ::unlink(QFile::encodeName(directory.filePath(QStringLiteral("corpus"))) +
             "/\xc4\xe3\xba\xc3.apk");
}

QTEST_GUILESS_MAIN(ReportTest)
#include "ReportTest.moc"
