// `pelmora --report` as a script runs it: the real program on packages built and signed here,
// judged by nothing but its output and its exit status.
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

Run Pelmora(const QStringList &arguments, const QString &directory)
{
    QProcess pelmora;
    pelmora.setWorkingDirectory(directory);
    // No display: the report must not need one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    pelmora.setProcessEnvironment(environment);
    pelmora.start(QStringLiteral(PELMORA_PROGRAM), arguments);
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
    QTemporaryDir directory;
    QString certificateSha256; // as openssl prints it: upper case with colons
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
}

void ReportTest::report_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outcomes"); // of the JSON records, in order

    const QString json = QStringLiteral("--json");
    const QString report = QStringLiteral("--report");
    const QString expect = QStringLiteral("--expect-signer");
    const QString signedPackage = QStringLiteral("corpus/deeper/signed.apk");
    const QString ok = QStringLiteral("ok");
    // Byte order: "damaged" < "deeper/signed" < "good" < the GBK name (bytes over 0x80).
    QTest::newRow("a folder, walked in byte order")
        << QStringList{report, json, QStringLiteral("corpus")} << 1
        << QStringList{QStringLiteral("damaged"), ok, ok, ok};
    QTest::newRow("files named directly, one of another type")
        << QStringList{report, json, signedPackage, QStringLiteral("corpus/notes.txt")} << 1
        << QStringList{ok, QStringLiteral("wrongType")};
    QTest::newRow("the expected signer, colons and upper case")
        << QStringList{report, json, expect, certificateSha256, signedPackage} << 0
        << QStringList{ok};
    QTest::newRow("another signer expected")
        << QStringList{report, json, expect, QString(64, u'a'), signedPackage} << 1
        << QStringList{ok};
    QTest::newRow("text form") << QStringList{report, signedPackage} << 0 << QStringList();
    // Byte order: "aapt2-compact-entries-signed" < "aapt2-compact-entries.apk", and so on.
    const QString damaged = QStringLiteral("damaged");
    QTest::newRow("packages of newer toolchains: the signed ones shown, from the manifest")
        << QStringList{report, json, QStringLiteral("newer")} << 1
        << QStringList{ok, damaged, ok, damaged, ok, damaged};
    QTest::newRow("no path") << QStringList{report, json} << 2 << QStringList();
    QTest::newRow("a malformed digest")
        << QStringList{report, expect, QStringLiteral("12:34"), signedPackage} << 2
        << QStringList();
    QTest::newRow("an unknown option")
        << QStringList{report, QStringLiteral("--frobnicate"), signedPackage} << 2 << QStringList();
}

void ReportTest::report()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, outcomes);
    const Run run = Pelmora(arguments, directory.path());
    QTEST(run.exitCode, "exitCode");
    if (run.exitCode == 2) {
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
        return;
    }
    if (!arguments.contains(QStringLiteral("--json"))) {
        QVERIFY(run.out.contains("org.pelmora.report"));
        return;
    }
    // However many jobs run, the records come in the same order with the same contents.
    QCOMPARE(Pelmora(QStringList{QStringLiteral("--jobs"), QStringLiteral("1")} + arguments,
                     directory.path())
                 .out,
             run.out);
    QCOMPARE(Pelmora(QStringList{QStringLiteral("--jobs"), QStringLiteral("2")} + arguments,
                     directory.path())
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
        const Identity expected = identities.value(
            QFileInfo(file).fileName(),
            {QStringLiteral("org.pelmora.report"), QStringLiteral("3.1"), QStringLiteral("报告")});
        QCOMPARE((Identity{record.value(QStringLiteral("package")).toString(),
                           record.value(QStringLiteral("versionName")).toString(),
                           record.value(QStringLiteral("label")).toString()}),
                 expected);
        const QJsonObject signature = record.value(QStringLiteral("signature")).toObject();
        if (!path.endsWith("signed.apk")) {
            QCOMPARE(signature.value(QStringLiteral("verdict")).toString(),
                     QStringLiteral("unsigned"));
            continue;
        }
        QCOMPARE(signature.value(QStringLiteral("verdict")).toString(), QStringLiteral("verified"));
        const QJsonArray signers = signature.value(QStringLiteral("signers")).toArray();
        QCOMPARE(signers.size(), 1);
        QCOMPARE(signers.first().toObject().value(QStringLiteral("certSha256")).toString(),
                 QString(certificateSha256).remove(u':').toLower());
        if (arguments.contains(QStringLiteral("--expect-signer")))
            QCOMPARE(record.value(QStringLiteral("expectedSigner")).toBool(), run.exitCode == 0);
    }
    QCOMPARE(seen, outcomes);
}

void ReportTest::cleanupTestCase()
{
    // QTemporaryDir decodes names, so it could not remove this one itself.
    ::unlink(QFile::encodeName(directory.filePath(QStringLiteral("corpus"))) +
             "/\xc4\xe3\xba\xc3.apk");
}

QTEST_GUILESS_MAIN(ReportTest)
#include "ReportTest.moc"
