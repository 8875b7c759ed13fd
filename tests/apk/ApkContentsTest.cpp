// What one package holds, read as the program reads it: DEX headers held against Debian's
// `dexdump -f` on DEX files that smali assembles at test time, the DEX files Android loads,
// frameworks in packages built with aapt around each one's marker entries, sizes by category
// held against Python's zipfile and the signing block's own size field, the download estimate
// against `gzip -9 -n`, Google Play's target-SDK table, `pelmora --contents` as a script runs
// it, the components, flags and findings of manifests built with aapt, held against its own
// dump of them, the manifest as XML text held against `aapt dump xmltree` and the names
// `aapt dump resources` gives, and the platform's permission levels against framework-res.apk's
// manifest as `aapt dump xmltree` prints it.
#include "ManifestXml.h"
#include "TestSupport.h"
#include "apk/ApkHoldings.h"
#include "apk/ContentsListing.h"
#include "apk/DexFiles.h"
#include "apk/DownloadEstimate.h"
#include "apk/Frameworks.h"
#include "apk/PermissionDefinitions.h"
#include "apk/PlayTargetSdk.h"
#include "apk/ProtectionLevel.h"
#include "archive/ZipArchive.h"
#include "details/ExposureFindings.h"
#include "details/FailureText.h"
#include "details/ManifestText.h"
#include "digest/ReadStop.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <QtEndian>
#include <cstring>
#include <ctime>

namespace {

// What `dexdump -f` says of a DEX file's header, by its field names ("method_ids_size").
QHash<QByteArray, QByteArray> DexdumpHeader(const QString &path)
{
    const ProgramRun run = RunProgram(QStringLiteral(SYSTEM_DEXDUMP), {QStringLiteral("-f"), path});
    QHash<QByteArray, QByteArray> fields;
    static const QRegularExpression Line(QStringLiteral("^(\\w+)\\s+: (.*)$"),
                                         QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch &match : Line.globalMatch(QString::fromLatin1(run.out)))
        fields.insert(match.captured(1).toLatin1(), match.captured(2).toLatin1());
    return run.exitCode == 0 ? fields : QHash<QByteArray, QByteArray>{};
}

struct ZipInfo
{
    QByteArray name;
    int method = 0;
    qint64 stored = 0;
    qint64 uncompressed = 0;
};

// Every entry as Python's zipfile reads the central directory.
QList<ZipInfo> PythonZipInfo(const QString &path)
{
    const ProgramRun run = RunProgram(
        QStringLiteral(SYSTEM_PYTHON),
        {QStringLiteral("-c"),
         QStringLiteral("import json, sys, zipfile\n"
                        "print(json.dumps([[i.filename, i.compress_type, i.compress_size, "
                        "i.file_size] for i in zipfile.ZipFile(sys.argv[1]).infolist()]))"),
         path});
    QList<ZipInfo> infos;
    for (const QJsonValue &value : QJsonDocument::fromJson(run.out).array()) {
        const QJsonArray row = value.toArray();
        infos.append(
            {row[0].toString().toUtf8(), row[1].toInt(), row[2].toInteger(), row[3].toInteger()});
    }
    return infos;
}

// The APK Signing Block's size, its own size field (which leaves itself out) plus that field;
// 0 when the file has none before its central directory.
qint64 SigningBlockSize(const QByteArray &file)
{
    const qsizetype end = file.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (end < 0)
        return 0;
    const qint64 directory = qFromLittleEndian<quint32>(file.constData() + end + 16);
    if (file.mid(directory - 16, 16) != "APK Sig Block 42")
        return 0;
    return qFromLittleEndian<qint64>(file.constData() + directory - 24) + 8;
}

// One element of a binary XML document as `aapt dump xmltree` prints it: its depth (the root's 0)
// and its attributes by their printed names ("android:name", "package"), each value as the tool
// shows it: a string's text, "true" or "false" for a boolean, "@0x…" for a reference.
struct DumpedElement
{
    QString name;
    int depth = 0;
    QHash<QString, QString> attributes;
};

QList<DumpedElement> DumpedXmlTree(const QString &package)
{
    const ProgramRun run =
        RunProgram(QStringLiteral(SYSTEM_AAPT), {QStringLiteral("dump"), QStringLiteral("xmltree"),
                                                 package, QStringLiteral("AndroidManifest.xml")});
    static const QRegularExpression Element(QStringLiteral("^( *)E: (\\S+) \\(line=\\d+\\)$"));
    static const QRegularExpression Attribute(
        QStringLiteral("^ *A: ([\\w:]+)(?:\\(0x[0-9a-f]+\\))?=(.*)$"));
    static const QRegularExpression Text(QStringLiteral("^\"(.*)\" \\(Raw: "));
    static const QRegularExpression Boolean(QStringLiteral("^\\(type 0x12\\)0x([0-9a-f]+)$"));
    QList<DumpedElement> elements;
    for (const QString &line : QString::fromUtf8(run.out).split(u'\n')) {
        if (const QRegularExpressionMatch element = Element.match(line); element.hasMatch()) {
            elements.append({element.captured(2), int(element.captured(1).size() / 2) - 1, {}});
        } else if (const QRegularExpressionMatch attribute = Attribute.match(line);
                   attribute.hasMatch() && !elements.isEmpty()) {
            QString value = attribute.captured(2);
            if (const QRegularExpressionMatch text = Text.match(value); text.hasMatch())
                value = text.captured(1);
            else if (const QRegularExpressionMatch flag = Boolean.match(value); flag.hasMatch())
                value = flag.captured(1) == QLatin1String("0") ? QStringLiteral("false")
                                                               : QStringLiteral("true");
            elements.last().attributes.insert(attribute.captured(1), value);
        }
    }
    return run.exitCode == 0 ? elements : QList<DumpedElement>{};
}

// The effective flags as "name=value", in the report's order.
QStringList FlagTexts(const SecurityFlags &flags)
{
    const auto shown = [](const std::optional<bool> &value) {
        return !value   ? QStringLiteral("unknown")
               : *value ? QStringLiteral("true")
                        : QStringLiteral("false");
    };
    return {QStringLiteral("debuggable=") + shown(flags.debuggable),
            QStringLiteral("testOnly=") + shown(flags.testOnly),
            QStringLiteral("allowBackup=") + shown(flags.allowBackup),
            QStringLiteral("usesCleartextTraffic=") + shown(flags.usesCleartextTraffic),
            QStringLiteral("networkSecurityConfig=") + flags.networkSecurityConfig,
            QStringLiteral("extractNativeLibs=") + shown(flags.extractNativeLibs),
            QStringLiteral("hasCode=") + shown(flags.hasCode),
            QStringLiteral("sharedUserId=") + flags.sharedUserId};
}

// Every resource's name as `aapt dump resources` gives it, by id: "@string/app_name", and
// "@android:string/ok" for the platform's.
QHash<quint32, QString> AaptResourceNames(const QString &path)
{
    const ProgramRun run = RunProgram(QStringLiteral(SYSTEM_AAPT),
                                      {QStringLiteral("dump"), QStringLiteral("resources"), path});
    static const QRegularExpression ResourceLine(
        QStringLiteral("spec resource 0x([0-9a-f]{8}) [^:]+:([^:]+):"));
    QHash<quint32, QString> names;
    for (const QRegularExpressionMatch &match :
         ResourceLine.globalMatch(QString::fromUtf8(run.out))) {
        const quint32 id = match.captured(1).toUInt(nullptr, 16);
        names.insert(id, (id >> 24 == 1 ? QStringLiteral("@android:") : QStringLiteral("@")) +
                             match.captured(2));
    }
    return names;
}

// An element as `aapt dump xmltree` prints it: its name, and each attribute's name, resource id
// and value as printed ("\"text\" (Raw: …)", "(type 0x10)0x1d", "@0x7f020000").
struct PrintedElement
{
    QString name;
    QList<std::tuple<QString, quint32, QString>> attributes;
};

QList<PrintedElement> AaptXmlTree(const QString &path)
{
    const ProgramRun run =
        RunProgram(QStringLiteral(SYSTEM_AAPT), {QStringLiteral("dump"), QStringLiteral("xmltree"),
                                                 path, QStringLiteral("AndroidManifest.xml")});
    static const QRegularExpression Element(QStringLiteral("^\\s*E: (\\S+) \\(line="));
    static const QRegularExpression Attribute(
        QStringLiteral("^\\s*A: ([^(=]+)(?:\\(0x([0-9a-f]{8})\\))?=(.*)$"));
    QList<PrintedElement> elements;
    for (const QString &line : QString::fromUtf8(run.out).split(u'\n')) {
        if (const QRegularExpressionMatch match = Element.match(line); match.hasMatch())
            elements.append({match.captured(1), {}});
        else if (const QRegularExpressionMatch match = Attribute.match(line);
                 match.hasMatch() && !elements.isEmpty())
            elements.last().attributes.append(
                {match.captured(1), match.captured(2).toUInt(nullptr, 16), match.captured(3)});
    }
    return elements;
}

// An element of the manifest's text as an XML reader sees it, with the comments before it.
struct ShownElement
{
    QString name;
    QHash<QString, QString> attributes;
    QString comments;
};

QList<ShownElement> ReadShownXml(const QString &text, QString &error)
{
    QXmlStreamReader xml(text);
    QList<ShownElement> elements;
    QString comments;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isComment()) {
            comments += xml.text().toString() + u'\n';
        } else if (xml.isStartElement()) {
            ShownElement element{xml.qualifiedName().toString(), {}, comments};
            for (const QXmlStreamAttribute &attribute : xml.attributes())
                element.attributes.insert(attribute.qualifiedName().toString(),
                                          attribute.value().toString());
            elements.append(element);
            comments.clear();
        }
    }
    error = xml.hasError() ? xml.errorString() : QString();
    return elements;
}

// A string as aapt prints it, a backslash, a quote and a line break behind a backslash.
QString AaptUnescaped(const QString &printed)
{
    QString plain;
    for (qsizetype i = 0; i < printed.size(); ++i) {
        if (printed[i] == u'\\' && i + 1 < printed.size()) {
            ++i;
            plain += printed[i] == u'n' ? QChar(u'\n') : printed[i];
        } else {
            plain += printed[i];
        }
    }
    return plain;
}

// Whether `shown` is the value aapt printed as `printed`, each named resource by its name.
bool SameValue(const QString &shown, const QString &printed, const QHash<quint32, QString> &names)
{
    static const QRegularExpression Text(QStringLiteral("^\"(.*?)\"(?: \\(Raw: \".*\"\\))?$"));
    static const QRegularExpression Typed(
        QStringLiteral("^\\(type 0x([0-9a-f]+)\\)0x([0-9a-f]+)(?: \\(Raw: .*\\))?$"));
    if (printed.startsWith(u'@'))
        return shown == names.value(printed.mid(3).toUInt(nullptr, 16), printed);
    if (const QRegularExpressionMatch match = Text.match(printed); match.hasMatch())
        return shown == AaptUnescaped(match.captured(1));
    const QRegularExpressionMatch match = Typed.match(printed);
    if (!match.hasMatch())
        return false;
    const int type = match.captured(1).toInt(nullptr, 16);
    const quint32 data = match.captured(2).toUInt(nullptr, 16);
    bool number = false;
    if (type == 0x04) {
        float value = 0;
        std::memcpy(&value, &data, sizeof value);
        return shown.toFloat(&number) == value && number;
    }
    if (type == 0x10)
        return shown.toInt(&number) == qint32(data) && number;
    if (type == 0x11)
        return shown.startsWith(QLatin1String("0x")) && shown.mid(2).toUInt(&number, 16) == data &&
               number;
    if (type == 0x12)
        return shown == (data ? QLatin1String("true") : QLatin1String("false"));
    if (type >= 0x1c && type <= 0x1f)
        return shown.startsWith(u'#') && shown.mid(1).toUInt(&number, 16) == data && number;
    return false;
}

// The level of every <permission> of framework-res.apk's manifest, by name, as aapt prints the
// tree: each element on a line "E: name (line=N)", its attributes below it as "A: ...".
QHash<QString, quint32> ToolPermissionLevels()
{
    const ProgramRun run =
        RunProgram(QStringLiteral(SYSTEM_AAPT),
                   {QStringLiteral("dump"), QStringLiteral("xmltree"),
                    QStringLiteral(FRAMEWORK_RES), QStringLiteral("AndroidManifest.xml")});
    static const QRegularExpression Name(
        QStringLiteral("^A: android:name\\(0x01010003\\)=\"([^\"]*)\""));
    static const QRegularExpression Level(
        QStringLiteral("^A: android:protectionLevel\\(0x01010009\\)=\\(type 0x1[01]\\)(\\S+)"));
    QHash<QString, quint32> levels;
    bool inPermission = false;
    QString name;
    quint32 level = 0;
    const auto finish = [&] {
        if (inPermission && !name.isEmpty() && !levels.contains(name))
            levels.insert(name, level);
    };
    for (const QByteArray &line : run.out.split('\n')) {
        const QString text = QString::fromUtf8(line.trimmed());
        if (text.startsWith(QLatin1String("E: "))) {
            finish();
            inPermission = text.startsWith(QLatin1String("E: permission "));
            name.clear();
            level = 0;
        } else if (const QRegularExpressionMatch match = Name.match(text); match.hasMatch()) {
            name = match.captured(1);
        } else if (const QRegularExpressionMatch match = Level.match(text); match.hasMatch()) {
            level = match.captured(1).toUInt(nullptr, 0);
        }
    }
    finish();
    return levels;
}

constexpr QByteArrayView HermesBytecodeStart("\xC6\x1F\xBC\x03\xC1\x03\x19\x1F\x60", 9);

} // namespace

Q_DECLARE_METATYPE(XmlDocument)

class ApkContentsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dexHeader_data();
    void dexHeader();
    void damagedDexHeader_data();
    void damagedDexHeader();
    void loadedDexNames_data();
    void loadedDexNames();
    void nearsMethodLimit_data();
    void nearsMethodLimit();
    void tenThousandDexFiles();
    void frameworks_data();
    void frameworks();
    void sizesByCategory_data();
    void sizesByCategory();
    void downloadEstimate_data();
    void downloadEstimate();
    void downloadEstimateStops();
    void playTargetSdk_data();
    void playTargetSdk();
    void contentsCommand_data();
    void contentsCommand();
    void exposure_data();
    void exposure();
    void hundredThousandComponents();
    void manifestText_data();
    void manifestText();
    void hostileManifestText_data();
    void hostileManifestText();
    void platformPermissions_data();
    void platformPermissions();

private:
    QString path(const QString &name) const { return directory.filePath(name); }

    QTemporaryDir directory;
    QByteArray smallDex; // one class, API 26
    QString signedPackage;
    QString plainPackage;
};

void ApkContentsTest::initTestCase()
{
    QVERIFY(directory.isValid());
    smallDex = AssembleDex(directory.path(), QStringLiteral("small"), 26, {{"Small", 1, 1}});
    QVERIFY(!smallDex.isEmpty());

    // A package of every category: two DEX files Android loads and one it does not, native
    // code, assets, a resource table and res/, signed with v1, v2 and v3.
    PackageContents contents;
    contents.resources = {{QStringLiteral("raw/noise.bin"), QByteArray(3000, 'n')}};
    contents.storedEntries = {
        {QStringLiteral("classes.dex"), smallDex},
        {QStringLiteral("classes2.dex"), smallDex},
        {QStringLiteral("classes4.dex"), smallDex},
        {QStringLiteral("lib/x86_64/libx.so"), QByteArray(5000, 'x')},
        {QStringLiteral("assets/a.txt"), QByteArray(700, 'a')},
        {QStringLiteral("META-INF/services/x"), "other"},
    };
    const TestPackage package{QStringLiteral("org.pelmora.contents"), QStringLiteral("1.0"),
                              QStringLiteral("Contents")};
    plainPackage =
        BuildTestPackage(directory.path(), QStringLiteral("plain.apk"), package, contents);
    QVERIFY(!plainPackage.isEmpty());
    const TestKey key = MakeTestKey(directory.path(), QStringLiteral("contents"));
    signedPackage = path(QStringLiteral("signed.apk"));
    QVERIFY(SignTestPackage(plainPackage, signedPackage, key));
    QVERIFY(BuildTestZip(path(QStringLiteral("bundle.apks")),
                         {{QStringLiteral("base.apk"), ReadFile(signedPackage)}}, true));
}

void ApkContentsTest::dexHeader_data()
{
    QTest::addColumn<int>("api");
    QTest::addColumn<DexClasses>("classes");
    QTest::addColumn<int>("version");

    QTest::newRow("version 035") << 15 << DexClasses{{"A", 0, 0}} << 35;
    QTest::newRow("version 037, fields and methods")
        << 24 << DexClasses{{"A", 3, 5}, {"B", 7, 2}} << 37;
    QTest::newRow("version 038, many classes")
        << 26
        << DexClasses{{"A", 1, 1}, {"B", 2, 2}, {"C", 3, 3}, {"D", 4, 4}, {"E", 5, 5}, {"F", 0, 40}}
        << 38;
    QTest::newRow("version 039") << 28 << DexClasses{{"A", 20, 30}} << 39;
}

void ApkContentsTest::dexHeader()
{
    QFETCH(int, api);
    QFETCH(DexClasses, classes);
    QFETCH(int, version);

    const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    const QByteArray dex = AssembleDex(directory.path(), name, api, classes);
    QVERIFY(!dex.isEmpty());
    const QHash<QByteArray, QByteArray> dexdump =
        DexdumpHeader(path(name + QStringLiteral(".dex")));
    QVERIFY(!dexdump.isEmpty());
    const QString package = path(name + QStringLiteral(".apk"));
    QVERIFY(BuildTestZip(package, {{QStringLiteral("classes.dex"), dex}}));

    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    const QList<DexFile> files = ReadDexFiles(archive);
    QCOMPARE(files.size(), 1);
    QCOMPARE(files[0].name, QByteArray("classes.dex"));
    QCOMPARE(files[0].size, dex.size());
    QVERIFY2(files[0].reading.header, qPrintable(FailureText(files[0].reading.problem)));
    const DexHeader &header = *files[0].reading.header;
    QCOMPARE(header.version, version);
    QCOMPARE(dexdump.value("magic"), "'dex\\n0" + QByteArray::number(version) + "\\0'");
    QCOMPARE(QByteArray::number(header.classes), dexdump.value("class_defs_size"));
    QCOMPARE(QByteArray::number(header.methods), dexdump.value("method_ids_size"));
    QCOMPARE(QByteArray::number(header.fields), dexdump.value("field_ids_size"));
    QCOMPARE(QByteArray::number(header.strings), dexdump.value("string_ids_size"));
    QVERIFY(!header.moreInContainer);
}

void ApkContentsTest::damagedDexHeader_data()
{
    QTest::addColumn<QByteArray>("dex");
    QTest::addColumn<qint64>("entrySize");
    QTest::addColumn<FailureCode>("refusal");

    const auto patched = [&](qsizetype at, quint32 value) {
        QByteArray dex = smallDex;
        qToLittleEndian(value, dex.data() + at);
        return dex;
    };
    const qint64 size = smallDex.size();
    using enum FailureCode;
    QTest::newRow("shorter than a header")
        << smallDex.first(0x6f) << qint64(0x6f) << DexShorterThanHeader;
    QTest::newRow("not DEX") << QByteArray("PK\x03\x04").append(smallDex.mid(4)) << size
                             << DexBadMagic;
    QTest::newRow("letters for a version")
        << QByteArray("dex\n0a8").append(smallDex.mid(7)) << size << DexBadMagic;
    QTest::newRow("big-endian tag") << patched(0x28, 0x78563412) << size << DexBigEndian;
    QTest::newRow("no endian tag") << patched(0x28, 0) << size << DexBadEndianTag;
    QTest::newRow("header size of another version")
        << patched(0x24, 0x78) << size << DexBadHeaderSize;
    QTest::newRow("file size not the entry's")
        << patched(0x20, quint32(size) - 4) << size << DexSizeMismatch;
    QTest::newRow("entry larger than its file") << smallDex << size + 1 << DexSizeMismatch;
    QTest::newRow("method count past the file")
        << patched(0x58, 0x10000) << size << DexTableOutsideFile;
    QTest::newRow("string table inside the header")
        << patched(0x3c, 0x10) << size << DexTableOutsideFile;
    QTest::newRow("class table unaligned") << patched(0x64, 0xdd) << size << DexTableOutsideFile;
    QTest::newRow("class table offset wraps")
        << patched(0x64, 0xfffffff0) << size << DexTableOutsideFile;
}

void ApkContentsTest::damagedDexHeader()
{
    QFETCH(QByteArray, dex);
    QFETCH(qint64, entrySize);

    const DexHeaderReading reading =
        ParseDexHeader(dex.first(qMin(dex.size(), DexHeaderBytes)), entrySize);
    QVERIFY(!reading.header);
    QTEST(reading.problem.code, "refusal");
}

void ApkContentsTest::loadedDexNames_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<QByteArray>>("loaded");

    QTest::newRow("three in a row")
        << QStringList{QStringLiteral("classes3.dex"), QStringLiteral("classes.dex"),
                       QStringLiteral("classes2.dex")}
        << QList<QByteArray>{"classes.dex", "classes2.dex", "classes3.dex"};
    QTest::newRow("a gap ends them")
        << QStringList{QStringLiteral("classes.dex"), QStringLiteral("classes3.dex")}
        << QList<QByteArray>{"classes.dex"};
    QTest::newRow("no classes.dex")
        << QStringList{QStringLiteral("classes2.dex"), QStringLiteral("classes3.dex")}
        << QList<QByteArray>{};
    QTest::newRow("names the loader does not count")
        << QStringList{QStringLiteral("classes.dex"),   QStringLiteral("classes1.dex"),
                       QStringLiteral("classes02.dex"), QStringLiteral("assets/classes2.dex"),
                       QStringLiteral("Classes2.dex"),  QStringLiteral("other.dex")}
        << QList<QByteArray>{"classes.dex"};
}

void ApkContentsTest::loadedDexNames()
{
    QFETCH(QStringList, entries);
    QFETCH(QList<QByteArray>, loaded);

    ZipEntries zip;
    for (const QString &entry : std::as_const(entries))
        zip.append({entry, smallDex});
    const QString package = path(QStringLiteral("names.apk"));
    QVERIFY(BuildTestZip(package, zip));
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    QCOMPARE(LoadedDexNames(archive), loaded);
}

void ApkContentsTest::nearsMethodLimit_data()
{
    QTest::addColumn<quint32>("methods");
    QTest::addColumn<bool>("nears");

    QTest::newRow("a small app") << quint32(3000) << false;
    QTest::newRow("four fifths") << quint32(52429) << false;
    QTest::newRow("ten thousand short") << quint32(55536) << false;
    QTest::newRow("a thousand short") << quint32(64536) << true;
    QTest::newRow("at the limit") << quint32(65536) << true;
    QTest::newRow("a count past the limit") << quint32(70000) << true;
}

void ApkContentsTest::nearsMethodLimit()
{
    QFETCH(quint32, methods);
    QFETCH(bool, nears);

    QCOMPARE(NearsMethodLimit(methods), nears);
}

void ApkContentsTest::tenThousandDexFiles()
{
    // Each loaded DEX file costs one lookup and one read of its first bytes, whatever it holds.
    constexpr int Count = 10'000;
    // Python's zipfile writes them in a moment; aapt takes ten seconds over as many files.
    const QString package = path(QStringLiteral("ten-thousand.apk"));
    const ProgramRun run = RunProgram(
        QStringLiteral(SYSTEM_PYTHON),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zipfile\n"
                        "dex = open(sys.argv[2], 'rb').read()\n"
                        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                        "    for i in range(1, int(sys.argv[3]) + 1):\n"
                        "        z.writestr('classes%s.dex' % (i if i > 1 else ''), dex)\n"),
         package, path(QStringLiteral("small.dex")), QString::number(Count)});
    QCOMPARE(run.exitCode, 0);
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    const QList<DexFile> files = ReadDexFiles(archive);
    QCOMPARE(files.size(), Count);
    QCOMPARE(files.last().name, QByteArray("classes10000.dex"));
    for (const DexFile &dex : files)
        QVERIFY2(dex.reading.header, dex.name.constData());
    QVERIFY(!archive.inflateLimitReached());
}

void ApkContentsTest::frameworks_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bundleStart");
    QTest::addColumn<QStringList>("frameworks");

    const QByteArray none;
    QTest::newRow("none") << QStringList{QStringLiteral("assets/a.txt")} << none << QStringList{};
    QTest::newRow("Flutter") << QStringList{QStringLiteral("lib/arm64-v8a/libflutter.so"),
                                            QStringLiteral("lib/arm64-v8a/libapp.so")}
                             << none << QStringList{QStringLiteral("Flutter")};
    QTest::newRow("Flutter's assets alone")
        << QStringList{QStringLiteral("assets/flutter_assets/AssetManifest.json")} << none
        << QStringList{QStringLiteral("Flutter")};
    QTest::newRow("React Native, JavaScript")
        << QStringList{QStringLiteral("lib/x86_64/libreactnativejni.so")}
        << QByteArray("var __BUNDLE_START_TIME__=this.nativePerformanceNow?")
        << QStringList{QStringLiteral("React Native")};
    QTest::newRow("React Native, Hermes")
        << QStringList{QStringLiteral("lib/x86_64/libreactnative.so")}
        << HermesBytecodeStart.toByteArray()
        << QStringList{QStringLiteral("React Native (Hermes)")};
    QTest::newRow("Unity, IL2CPP") << QStringList{QStringLiteral("lib/armeabi-v7a/libunity.so"),
                                                  QStringLiteral("lib/armeabi-v7a/libil2cpp.so")}
                                   << none << QStringList{QStringLiteral("Unity (IL2CPP)")};
    QTest::newRow("Unity, Mono") << QStringList{QStringLiteral("lib/armeabi-v7a/libunity.so"),
                                                QStringLiteral(
                                                    "lib/armeabi-v7a/libmonobdwgc-2.0.so")}
                                 << none << QStringList{QStringLiteral("Unity (Mono)")};
    QTest::newRow(".NET") << QStringList{QStringLiteral("lib/arm64-v8a/libmonodroid.so")} << none
                          << QStringList{QStringLiteral(".NET MAUI/Xamarin")};
    QTest::newRow("Cordova") << QStringList{QStringLiteral("assets/www/cordova.js")} << none
                             << QStringList{QStringLiteral("Cordova")};
    QTest::newRow("Capacitor over Cordova")
        << QStringList{QStringLiteral("assets/capacitor.config.json"),
                       QStringLiteral("assets/www/cordova.js")}
        << none << QStringList{QStringLiteral("Cordova"), QStringLiteral("Capacitor")};
    QTest::newRow("Kotlin and Compose")
        << QStringList{QStringLiteral("kotlin/kotlin.kotlin_builtins"),
                       QStringLiteral("META-INF/androidx.compose.ui_ui.version")}
        << none << QStringList{QStringLiteral("Kotlin"), QStringLiteral("Jetpack Compose")};
    QTest::newRow("Kotlin by its module file")
        << QStringList{QStringLiteral("META-INF/app_release.kotlin_module")} << none
        << QStringList{QStringLiteral("Kotlin")};
    QTest::newRow("Godot") << QStringList{QStringLiteral("lib/arm64-v8a/libgodot_android.so")}
                           << none << QStringList{QStringLiteral("Godot")};
    QTest::newRow("Qt") << QStringList{QStringLiteral("lib/arm64-v8a/libQt6Core_arm64-v8a.so")}
                        << none << QStringList{QStringLiteral("Qt")};
    QTest::newRow("Cocos") << QStringList{QStringLiteral("lib/armeabi-v7a/libcocos2djs.so")} << none
                           << QStringList{QStringLiteral("Cocos")};
    // Android extracts lib/<abi>/<name>.so only; a library elsewhere is not loaded as one.
    QTest::newRow("libraries where Android does not look")
        << QStringList{QStringLiteral("lib/arm64-v8a/sub/libflutter.so"),
                       QStringLiteral("assets/lib/x86/libunity.so"),
                       QStringLiteral("lib/libgodot_android.so")}
        << none << QStringList{};
}

void ApkContentsTest::frameworks()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bundleStart);
    QFETCH(QStringList, frameworks);

    PackageContents contents;
    for (const QString &entry : std::as_const(entries))
        contents.storedEntries.append({entry, QByteArray("\x7f"
                                                         "ELF marker")});
    if (!bundleStart.isEmpty())
        contents.storedEntries.append(
            {QStringLiteral("assets/index.android.bundle"), bundleStart + QByteArray(4000, ' ')});
    const QString package = BuildTestPackage(
        directory.path(), QStringLiteral("framework.apk"),
        {QStringLiteral("org.pelmora.framework"), QStringLiteral("1"), QStringLiteral("F")},
        contents);
    QVERIFY(!package.isEmpty());
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    QCOMPARE(DetectFrameworks(archive), frameworks);
}

void ApkContentsTest::sizesByCategory_data()
{
    QTest::addColumn<bool>("signedWithBlock");

    QTest::newRow("unsigned") << false;
    QTest::newRow("signed, v1 to v3") << true;
}

void ApkContentsTest::sizesByCategory()
{
    QFETCH(bool, signedWithBlock);

    const QString package = signedWithBlock ? signedPackage : plainPackage;
    const QByteArray bytes = ReadFile(package);
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    const ContentsListing listing = ListContents(file, archive);
    QCOMPARE(listing.fileSize, bytes.size());

    const QList<ZipInfo> infos = PythonZipInfo(package);
    QCOMPARE(listing.entries.size(), infos.size());
    std::array<qint64, SizeCategoryCount> stored{};
    std::array<qint64, SizeCategoryCount> uncompressed{};
    QHash<QByteArray, SizeCategory> categories;
    for (qsizetype i = 0; i < infos.size(); ++i) {
        const ListedEntry &entry = listing.entries[i];
        QCOMPARE(entry.name, infos[i].name);
        QCOMPARE(int(entry.method), infos[i].method);
        QCOMPARE(entry.stored, infos[i].stored);
        QCOMPARE(entry.uncompressed, infos[i].uncompressed);
        stored[int(entry.category)] += entry.stored;
        uncompressed[int(entry.category)] += entry.uncompressed;
        categories.insert(entry.name, entry.category);
    }
    QCOMPARE(categories.value("classes.dex"), SizeCategory::Code);
    QCOMPARE(categories.value("classes2.dex"), SizeCategory::Code);
    QCOMPARE(categories.value("classes4.dex"), SizeCategory::Other);
    QCOMPARE(categories.value("resources.arsc"), SizeCategory::ResourcesTable);
    QCOMPARE(categories.value("res/raw/noise.bin"), SizeCategory::Res);
    QCOMPARE(categories.value("lib/x86_64/libx.so"), SizeCategory::Native);
    QCOMPARE(categories.value("assets/a.txt"), SizeCategory::Assets);
    QCOMPARE(categories.value("AndroidManifest.xml"), SizeCategory::Other);
    QCOMPARE(categories.value("META-INF/services/x"), SizeCategory::Other);
    // apksigner names the signer after the key's file, "contents".
    if (signedWithBlock)
        for (const char *name :
             {"META-INF/MANIFEST.MF", "META-INF/CONTENTS.SF", "META-INF/CONTENTS.RSA"})
            QCOMPARE(categories.value(name, SizeCategory::Other), SizeCategory::Signature);

    // The block and the archive's structure come on top of the entries, and all adds up to
    // the file.
    const qint64 block = SigningBlockSize(bytes);
    QCOMPARE(block > 0, signedWithBlock);
    QCOMPARE(listing.signingBlock, block);
    qint64 total = 0;
    for (int category = 0; category < SizeCategoryCount; ++category) {
        const bool signature = category == int(SizeCategory::Signature);
        const bool other = category == int(SizeCategory::Other);
        const qint64 extra = signature ? block : other ? listing.structure : 0;
        QCOMPARE(listing.byCategory[category].stored, stored[category] + extra);
        QCOMPARE(listing.byCategory[category].uncompressed, uncompressed[category] + extra);
        total += listing.byCategory[category].stored;
    }
    QCOMPARE(total, bytes.size());
    QVERIFY(listing.structure > 0);
}

void ApkContentsTest::downloadEstimate_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("a small signed package") << QStringLiteral("signed.apk");
    // Several of ReadOnce's chunks, half of them incompressible.
    QTest::newRow("4 MiB, half random") << QStringLiteral("noise.bin");
}

void ApkContentsTest::downloadEstimate()
{
    QFETCH(QString, name);

    if (!QFile::exists(path(name))) {
        QByteArray noise(4 << 20, '\0');
        QRandomGenerator generator(29);
        for (qsizetype at = 0; at < noise.size() / 2; at += 4)
            qToLittleEndian(generator.generate(), noise.data() + at);
        QVERIFY(WriteFile(path(name), noise));
    }
    const SafeFile file(path(name).toUtf8());
    const std::optional<qint64> estimate = EstimateDownloadSize(file);
    QVERIFY(estimate);
    const ProgramRun gzip =
        RunProgram(QStringLiteral(SYSTEM_GZIP),
                   {QStringLiteral("-9"), QStringLiteral("-n"), QStringLiteral("-c"), path(name)});
    QCOMPARE(gzip.exitCode, 0);
    // Both frame one deflate stream with the same 10-byte header (no name, no time) and 8-byte
    // trailer; gzip's own deflate and zlib's choose their matches a little differently, so the
    // two lengths may differ by a few hundredths of a percent, never by a tenth; on a package of
    // a few kilobytes a handful of bytes is already that much, so a few bytes are allowed besides.
    const qint64 expected = gzip.out.size();
    QVERIFY2(qAbs(*estimate - expected) <= qMax<qint64>(expected / 1000, 16),
             qPrintable(QStringLiteral("%1 against gzip's %2").arg(*estimate).arg(expected)));
}

void ApkContentsTest::downloadEstimateStops()
{
    const SafeFile file(signedPackage.toUtf8());
    const std::atomic<bool> stop = true;
    const ScopedReadStop stopping(stop);
    QVERIFY(!EstimateDownloadSize(file));
}

void ApkContentsTest::playTargetSdk_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("newApp");
    QTest::addColumn<int>("update");

    QTest::newRow("before any requirement") << QDate(2018, 7, 31) << 0 << 0;
    QTest::newRow("2018, new apps first") << QDate(2018, 8, 1) << 26 << 0;
    QTest::newRow("2018, updates three months on") << QDate(2018, 11, 1) << 26 << 26;
    QTest::newRow("2022, between the two") << QDate(2022, 9, 15) << 31 << 30;
    QTest::newRow("the day before 2023's") << QDate(2023, 8, 30) << 31 << 31;
    QTest::newRow("2023, both on one day") << QDate(2023, 8, 31) << 33 << 33;
    QTest::newRow("2025") << QDate(2025, 8, 31) << 35 << 35;
    QTest::newRow("today") << QDate(2026, 12, 8) << 36 << 36;
}

void ApkContentsTest::playTargetSdk()
{
    QFETCH(QDate, date);
    QFETCH(int, newApp);
    QFETCH(int, update);

    QCOMPARE(RequiredTargetSdk(date, PlaySubmission::NewApp), newApp);
    QCOMPARE(RequiredTargetSdk(date, PlaySubmission::AppUpdate), update);
}

void ApkContentsTest::contentsCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    const QString package = QStringLiteral("signed.apk");
    QTest::newRow("text") << QStringList{QStringLiteral("--contents"), package} << 0;
    QTest::newRow("JSON") << QStringList{QStringLiteral("--contents"), QStringLiteral("--json"),
                                         package}
                          << 0;
    QTest::newRow("no such file") << QStringList{QStringLiteral("--contents"),
                                                 QStringLiteral("missing.apk")}
                                  << 1;
    QTest::newRow("not a ZIP") << QStringList{QStringLiteral("--contents"),
                                              QStringLiteral("small-Small.smali")}
                               << 1;
    QTest::newRow("no file") << QStringList{QStringLiteral("--contents")} << 2;
    QTest::newRow("two files") << QStringList{QStringLiteral("--contents"), package, package} << 2;
    QTest::newRow("with --report")
        << QStringList{QStringLiteral("--contents"), QStringLiteral("--report"), package} << 2;
    QTest::newRow("manifest") << QStringList{QStringLiteral("--manifest"), package} << 0;
    QTest::newRow("manifest of a bundle's base")
        << QStringList{QStringLiteral("--manifest"), QStringLiteral("bundle.apks")} << 0;
    QTest::newRow("manifest of no such file")
        << QStringList{QStringLiteral("--manifest"), QStringLiteral("missing.apk")} << 1;
    QTest::newRow("manifest of no ZIP")
        << QStringList{QStringLiteral("--manifest"), QStringLiteral("small-Small.smali")} << 1;
    QTest::newRow("manifest with --json")
        << QStringList{QStringLiteral("--manifest"), QStringLiteral("--json"), package} << 2;
    QTest::newRow("manifest of no file") << QStringList{QStringLiteral("--manifest")} << 2;
}

void ApkContentsTest::contentsCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    for (QString &argument : arguments)
        if (!argument.startsWith(QLatin1String("--")))
            argument = path(argument);
    const ProgramRun run = RunProgram(QStringLiteral(PELMORA_PROGRAM), arguments);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
        return;
    }
    QVERIFY(run.err.isEmpty());
    if (arguments.first() == QLatin1String("--manifest")) {
        // The package's own text; the bundle's base is that same package.
        const SafeFile file(signedPackage.toUtf8());
        const ZipArchive archive(file);
        const std::optional<XmlDocument> document = ReadManifestDocument(archive);
        QVERIFY(document);
        QCOMPARE(QString::fromUtf8(run.out),
                 ManifestText(*document, OpenResourceTable(archive).get()));
        return;
    }
    const QList<ZipInfo> infos = PythonZipInfo(signedPackage);
    const qint64 fileSize = QFileInfo(signedPackage).size();
    if (!arguments.contains(QLatin1String("--json"))) {
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), infos.size() + 1);
        for (qsizetype i = 0; i < infos.size(); ++i) {
            const QList<QByteArray> fields = lines[i + 1].split('\t');
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0].toLongLong(), infos[i].stored);
            QCOMPARE(fields[1].toLongLong(), infos[i].uncompressed);
            QCOMPARE(fields[4], infos[i].name);
        }
        return;
    }
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(run.out.count('\n'), 1);
    QCOMPARE(object.value(QLatin1String("path")).toString(), signedPackage);
    QCOMPARE(object.value(QLatin1String("size")).toInteger(), fileSize);
    const QJsonArray entries = object.value(QLatin1String("entries")).toArray();
    QCOMPARE(entries.size(), infos.size());
    for (qsizetype i = 0; i < infos.size(); ++i) {
        const QJsonObject entry = entries[i].toObject();
        QCOMPARE(entry.value(QLatin1String("name")).toString().toUtf8(), infos[i].name);
        QCOMPARE(entry.value(QLatin1String("method")).toInt(), infos[i].method);
        QCOMPARE(entry.value(QLatin1String("stored")).toInteger(), infos[i].stored);
        QCOMPARE(entry.value(QLatin1String("uncompressed")).toInteger(), infos[i].uncompressed);
    }
    const QJsonObject byCategory = object.value(QLatin1String("byCategory")).toObject();
    QCOMPARE(byCategory.keys(),
             (QStringList{QStringLiteral("assets"), QStringLiteral("code"),
                          QStringLiteral("native"), QStringLiteral("other"), QStringLiteral("res"),
                          QStringLiteral("resourcesTable"), QStringLiteral("signature")}));
    qint64 total = 0;
    for (const QJsonValue &sizes : byCategory)
        total += sizes.toObject().value(QLatin1String("stored")).toInteger();
    QCOMPARE(total, fileSize);
}

void ApkContentsTest::manifestText_data()
{
    QTest::addColumn<bool>("framework");
    QTest::addColumn<bool>("compactTable");
    QTest::addColumn<bool>("labelWithIconId");

    QTest::newRow("references") << false << false << false;
    QTest::newRow("compact table") << false << true << false;
    QTest::newRow("label attribute with the icon's id") << false << false << true;
    QTest::newRow("framework-res.apk") << true << false << false;
}

void ApkContentsTest::manifestText()
{
    QFETCH(bool, framework);
    QFETCH(bool, compactTable);
    QFETCH(bool, labelWithIconId);

    static const QHash<quint32, QString> platformNames =
        AaptResourceNames(QStringLiteral(FRAMEWORK_RES));
    QVERIFY(!platformNames.isEmpty());
    QHash<quint32, QString> names = platformNames;
    QString file = QStringLiteral(FRAMEWORK_RES);
    const QString label = QStringLiteral("清单 «名»");
    if (!framework) {
        PackageContents contents;
        contents.resources = {{QStringLiteral("values/extra.xml"),
                               "<resources><integer name=\"answer\">42</integer>"
                               "<bool name=\"on\">true</bool></resources>"}};
        contents.applicationElements = QStringLiteral(
            "<activity android:name=\".Main\" android:theme=\"@android:style/Theme.Material\" "
            "android:exported=\"true\" android:configChanges=\"orientation|keyboardHidden\" "
            "android:label=\"@android:string/ok\">"
            "<meta-data android:name=\"answer\" android:value=\"@integer/answer\"/>"
            "<meta-data android:name=\"on\" android:value=\"@bool/on\"/>"
            "<meta-data android:name=\"colour\" android:value=\"#80ff0000\"/>"
            "<meta-data android:name=\"ratio\" android:value=\"1.5\"/></activity>");
        const TestPackage package{QStringLiteral("org.pelmora.manifest"),
                                  QStringLiteral("1 &amp; &quot;&lt;2&gt;&quot;"), label};
        file =
            BuildTestPackage(directory.path(), QStringLiteral("manifest.apk"), package, contents);
        QVERIFY(!file.isEmpty());
        // The names come from the package as aapt wrote it; a changed one keeps its ids.
        names.insert(AaptResourceNames(file));
        contents.compactTable = compactTable;
        const quint32 iconId = platformNames.key(QStringLiteral("@android:attr/icon"));
        QVERIFY(iconId != 0);
        if (labelWithIconId)
            contents.rewriteManifest = [iconId](const QByteArray &xml) {
                return WithAttributeId(xml, QStringLiteral("label"), iconId);
            };
        if (compactTable || labelWithIconId)
            file = BuildTestPackage(directory.path(), QStringLiteral("manifest-changed.apk"),
                                    package, contents);
        QVERIFY(!file.isEmpty());
    }

    const SafeFile opened(file.toUtf8());
    const ZipArchive archive(opened);
    const std::optional<XmlDocument> document = ReadManifestDocument(archive);
    QVERIFY(document);
    const QString text = ManifestText(*document, OpenResourceTable(archive).get());
    QString error;
    const QList<ShownElement> shown = ReadShownXml(text, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!text.contains(QLatin1String("\"@0x")));

    // Every element and attribute aapt prints, with its value; an android: attribute is named
    // as Android reads it, by its id.
    const QList<PrintedElement> printed = AaptXmlTree(file);
    QCOMPARE(shown.size(), printed.size());
    for (qsizetype i = 0; i < printed.size(); ++i) {
        QCOMPARE(shown[i].name, printed[i].name);
        QCOMPARE(shown[i].attributes.size(), printed[i].attributes.size());
        for (const auto &[name, id, value] : printed[i].attributes) {
            QString expected = name;
            const QString platformName = platformNames.value(id);
            if (platformName.startsWith(QLatin1String("@android:attr/")))
                expected = name.section(u':', 0, 0) + u':' + platformName.section(u'/', 1);
            QVERIFY2(shown[i].attributes.contains(expected), qPrintable(expected));
            QVERIFY2(SameValue(shown[i].attributes.value(expected), value, names),
                     qPrintable(QStringLiteral("%1 %2: %3 against %4")
                                    .arg(printed[i].name, expected,
                                         shown[i].attributes.value(expected), value)));
        }
    }
    if (framework)
        return;

    // What each reference to the package's own values resolves to, beside it.
    QHash<QString, QString> comments;
    for (const ShownElement &element : shown)
        comments[element.attributes.value(QStringLiteral("android:name"), element.name)] +=
            element.comments;
    for (const auto &[element, reference, value] : QList<std::tuple<QString, QString, QString>>{
             {QStringLiteral("application"), QStringLiteral("@string/app_name"), label},
             {QStringLiteral("answer"), QStringLiteral("@integer/answer"), QStringLiteral("42")},
             {QStringLiteral("on"), QStringLiteral("@bool/on"), QStringLiteral("true")}}) {
        QVERIFY2(comments[element].contains(reference) && comments[element].contains(value),
                 qPrintable(element));
    }
    // The name the file gives an attribute Android reads by another id is not lost.
    QCOMPARE(comments[QStringLiteral("application")].contains(QLatin1String("label")),
             labelWithIconId);
}

void ApkContentsTest::hostileManifestText_data()
{
    QTest::addColumn<XmlDocument>("document");
    QTest::addColumn<int>("elements");
    // An attribute of the last element, by namespace and name, with its value; none when the
    // name is empty.
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    const QString android = QStringLiteral("http://schemas.android.com/apk/res/android");
    const QString other = QStringLiteral("urn:other");
    const auto attribute = [](const QString &uri, const QString &name, const QString &text) {
        return XmlAttribute{uri, name, 0, ValueType::String, 0, text};
    };
    const auto element = [](const QString &name, int depth, qsizetype parent,
                            QList<XmlAttribute> attributes = {},
                            QList<std::pair<QString, QString>> namespaces = {}) {
        return XmlElement{{}, name, depth, parent, namespaces, attributes, {}};
    };
    const QString versionName = QStringLiteral("versionName");

    QTest::newRow("namespace used but never declared")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1,
                                {attribute(android, versionName, QStringLiteral("1"))})}}
        << 1 << android << versionName << QStringLiteral("1");
    QTest::newRow("names no XML name may be")
        << XmlDocument{{element(QStringLiteral("a b<"), 0, -1,
                                {attribute({}, QStringLiteral("1=\""), QStringLiteral("x"))}),
                        element({}, 1, 0), element(QStringLiteral("\u1075ses-permission"), 1, 0)}}
        << 3 << QString() << QString() << QString();
    QTest::newRow("one attribute twice")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1,
                                {attribute(android, versionName, QStringLiteral("first")),
                                 attribute(android, versionName, QStringLiteral("second"))},
                                {{QStringLiteral("android"), android}})}}
        << 1 << android << versionName << QStringLiteral("first");
    QTest::newRow("text XML cannot hold")
        << XmlDocument{{element(
               QStringLiteral("manifest"), 0, -1,
               {attribute({}, QStringLiteral("package"), QStringLiteral("a\x01-->]]><!--\"&b"))})}}
        << 1 << QString() << QStringLiteral("package") << QStringLiteral("a\uFFFD-->]]><!--\"&b");
    QTest::newRow("a prefix XML reserves")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1,
                                {attribute(other, versionName, QStringLiteral("2"))},
                                {{QStringLiteral("xmlns"), other}})}}
        << 1 << other << versionName << QStringLiteral("2");
    QTest::newRow("a second root")
        << XmlDocument{{element(
                            QStringLiteral("manifest"), 0, -1,
                            {attribute({}, QStringLiteral("package"), QStringLiteral("first"))}),
                        element(
                            QStringLiteral("manifest"), 0, -1,
                            {attribute({}, QStringLiteral("package"), QStringLiteral("second"))})}}
        << 1 << QString() << QStringLiteral("package") << QStringLiteral("first");
    QTest::newRow("a prefix bound again inside")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1, {},
                                {{QStringLiteral("p"), android}}),
                        element(QStringLiteral("application"), 1, 0,
                                {attribute(android, versionName, QStringLiteral("3"))},
                                {{QStringLiteral("p"), other}})}}
        << 2 << android << versionName << QStringLiteral("3");
    QTest::newRow("a namespace only the default binds")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1,
                                {attribute(android, versionName, QStringLiteral("4"))},
                                {{QString(), android}})}}
        << 1 << android << versionName << QStringLiteral("4");
    QTest::newRow("a prefix bound to no namespace, an attribute named xmlns")
        << XmlDocument{{element(QStringLiteral("manifest"), 0, -1,
                                {attribute({}, QStringLiteral("xmlns"), QStringLiteral("urn:x")),
                                 attribute({}, QStringLiteral("package"), QStringLiteral("p"))},
                                {{QStringLiteral("p"), QString()}})}}
        << 1 << QString() << QStringLiteral("package") << QStringLiteral("p");
    const QString xmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");
    QTest::newRow("the namespaces XML binds for itself")
        << XmlDocument{{element(
               QStringLiteral("manifest"), 0, -1,
               {attribute(xmlNamespace, QStringLiteral("lang"), QStringLiteral("zh"))},
               {{QStringLiteral("x"), QStringLiteral("http://www.w3.org/2000/xmlns/")},
                {QStringLiteral("y"), xmlNamespace}})}}
        << 1 << xmlNamespace << QStringLiteral("lang") << QStringLiteral("zh");
}

void ApkContentsTest::hostileManifestText()
{
    QFETCH(XmlDocument, document);
    QFETCH(int, elements);
    QFETCH(QString, uri);
    QFETCH(QString, name);
    QFETCH(QString, value);

    const QString text = ManifestText(document, nullptr);
    QXmlStreamReader xml(text);
    int read = 0;
    QXmlStreamAttributes last;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            ++read;
            last = xml.attributes();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + u'\n' + text));
    QCOMPARE(read, elements);
    if (!name.isEmpty())
        QCOMPARE(last.value(uri, name).toString(), value);
}

void ApkContentsTest::exposure_data()
{
    QTest::addColumn<QString>("manifestElements");
    QTest::addColumn<QString>("applicationAttributes");
    QTest::addColumn<QString>("components");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("exported");
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QStringList>("findings");

    QTest::newRow("every kind, set, unset and by reference")
        << QStringLiteral("<uses-sdk android:minSdkVersion='21' android:targetSdkVersion='30'/>")
        << QStringLiteral("android:debuggable='true' android:allowBackup='false' "
                          "android:networkSecurityConfig='@xml/network'")
        << QStringLiteral(
               "<activity android:name='.Main'><intent-filter>"
               "<action android:name='android.intent.action.MAIN'/>"
               "<category android:name='android.intent.category.LAUNCHER'/>"
               "</intent-filter></activity>"
               "<activity android:name='Plain' android:exported='@bool/open'/>"
               "<activity-alias android:name='org.other.Alias' android:targetActivity='.Main' "
               "android:exported='true' android:permission='org.pelmora.ALIAS'/>"
               "<service android:name='.Sync' android:exported='false'><intent-filter>"
               "<action android:name='org.pelmora.SYNC'/></intent-filter></service>"
               "<receiver android:name='.Link'><intent-filter>"
               "<action android:name='android.intent.action.VIEW'/>"
               "<category android:name='android.intent.category.BROWSABLE'/>"
               "<data android:scheme='https' android:host='example.org' android:port='8443' "
               "android:pathPrefix='/p'/><data android:path='/exact'/>"
               "<data android:pathPattern='/a.*'/></intent-filter></receiver>"
               "<provider android:name='.Files' android:authorities='org.one;org.two' "
               "android:readPermission='org.pelmora.READ'/>")
        << QStringList{QStringLiteral("org.pelmora.exposure.Main"),
                       QStringLiteral("org.pelmora.exposure.Plain"),
                       QStringLiteral("org.other.Alias"),
                       QStringLiteral("org.pelmora.exposure.Sync"),
                       QStringLiteral("org.pelmora.exposure.Link"),
                       QStringLiteral("org.pelmora.exposure.Files")}
        << QStringList{QStringLiteral("true"),  QStringLiteral("true"), QStringLiteral("true"),
                       QStringLiteral("false"), QStringLiteral("true"), QStringLiteral("false")}
        << QStringLiteral("org.pelmora.exposure.Main")
        << QStringList{QStringLiteral("debuggable=true"),
                       QStringLiteral("testOnly=false"),
                       QStringLiteral("allowBackup=false"),
                       QStringLiteral("usesCleartextTraffic=unknown"),
                       QStringLiteral("networkSecurityConfig=res/xml/network.xml"),
                       QStringLiteral("extractNativeLibs=true"),
                       QStringLiteral("hasCode=true"),
                       QStringLiteral("sharedUserId=org.pelmora.shared")}
        << QStringList{QStringLiteral("debuggable"), QStringLiteral("exported-without-permission"),
                       QStringLiteral("play-target-sdk-update")};
    QTest::newRow("target 31, an export implied by a filter")
        << QStringLiteral("<uses-sdk android:minSdkVersion='24' android:targetSdkVersion='31'/>")
        << QStringLiteral("android:testOnly='true' android:usesCleartextTraffic='true' "
                          "android:extractNativeLibs='false' android:hasCode='false'")
        << QStringLiteral("<activity android:name='.Off' android:enabled='false'><intent-filter>"
                          "<action android:name='android.intent.action.MAIN'/>"
                          "<category android:name='android.intent.category.LAUNCHER'/>"
                          "</intent-filter></activity>"
                          "<activity-alias android:name='.Entry' android:targetActivity='.Off' "
                          "android:exported='true' android:permission='org.pelmora.ENTER'>"
                          "<intent-filter><action android:name='android.intent.action.MAIN'/>"
                          "<category android:name='android.intent.category.LAUNCHER'/>"
                          "</intent-filter></activity-alias>"
                          "<provider android:name='.Files' android:authorities='org.files' "
                          "android:exported='true' android:permission='org.pelmora.FILES'/>")
        << QStringList{QStringLiteral("org.pelmora.exposure.Off"),
                       QStringLiteral("org.pelmora.exposure.Entry"),
                       QStringLiteral("org.pelmora.exposure.Files")}
        << QStringList{QStringLiteral("true"), QStringLiteral("true"), QStringLiteral("true")}
        << QStringLiteral("org.pelmora.exposure.Entry")
        << QStringList{QStringLiteral("debuggable=false"),
                       QStringLiteral("testOnly=true"),
                       QStringLiteral("allowBackup=true"),
                       QStringLiteral("usesCleartextTraffic=true"),
                       QStringLiteral("networkSecurityConfig="),
                       QStringLiteral("extractNativeLibs=false"),
                       QStringLiteral("hasCode=false"),
                       QStringLiteral("sharedUserId=org.pelmora.shared")}
        << QStringList{QStringLiteral("missing-exported"), QStringLiteral("test-only"),
                       QStringLiteral("cleartext-traffic"),
                       QStringLiteral("exported-without-permission"),
                       QStringLiteral("play-target-sdk-update")};
    QTest::newRow("SDK 16: providers exported, the application's permission inherited")
        << QStringLiteral("<uses-sdk android:minSdkVersion='16'/>")
        << QStringLiteral("android:permission='org.pelmora.APP'")
        << QStringLiteral("<provider android:name='.Old' android:authorities='org.old'/>"
                          "<service android:name='.Run'><intent-filter>"
                          "<action android:name='org.pelmora.RUN'/></intent-filter></service>"
                          "<receiver android:name='.Quiet'><intent-filter/></receiver>")
        << QStringList{QStringLiteral("org.pelmora.exposure.Old"),
                       QStringLiteral("org.pelmora.exposure.Run"),
                       QStringLiteral("org.pelmora.exposure.Quiet")}
        << QStringList{QStringLiteral("true"), QStringLiteral("true"), QStringLiteral("false")}
        << QString() << QStringList{QStringLiteral("debuggable=false"),
                                    QStringLiteral("testOnly=false"),
                                    QStringLiteral("allowBackup=true"),
                                    QStringLiteral("usesCleartextTraffic=true"),
                                    QStringLiteral("networkSecurityConfig="),
                                    QStringLiteral("extractNativeLibs=true"),
                                    QStringLiteral("hasCode=true"),
                                    QStringLiteral("sharedUserId=org.pelmora.shared")}
        << QStringList{QStringLiteral("cleartext-traffic"),
                       QStringLiteral("play-target-sdk-update")};
}

void ApkContentsTest::exposure()
{
    QFETCH(QString, manifestElements);
    QFETCH(QString, applicationAttributes);
    QFETCH(QString, components);
    QFETCH(QStringList, names);
    QFETCH(QStringList, exported);
    QFETCH(QString, launcher);
    QFETCH(QStringList, flags);
    QFETCH(QStringList, findings);

    PackageContents contents;
    contents.manifestElements = manifestElements;
    contents.manifestAttributes = QStringLiteral("android:sharedUserId='org.pelmora.shared'");
    contents.applicationAttributes = applicationAttributes;
    contents.applicationElements = components;
    contents.resources = {{QStringLiteral("values/bools.xml"),
                           "<resources><bool name='open'>true</bool></resources>"},
                          {QStringLiteral("xml/network.xml"), "<network-security-config/>"}};
    const QString package = BuildTestPackage(
        directory.path(), QStringLiteral("exposure.apk"),
        {QStringLiteral("org.pelmora.exposure"), QStringLiteral("1"), QStringLiteral("E")},
        contents);
    QVERIFY(!package.isEmpty());
    const SafeFile file(package.toUtf8());
    const ZipArchive archive(file);
    QVERIFY(archive.isOpen());
    const ApkHoldings holdings = ReadApkHoldings(file, archive);
    QVERIFY(holdings.exposure);
    const PackageExposure &exposure = *holdings.exposure;

    // What aapt prints of the same manifest: the components under <application>, and the
    // children of their filters.
    const QList<DumpedElement> dumped = DumpedXmlTree(package);
    const QStringList kinds = {QStringLiteral("activity"), QStringLiteral("activity-alias"),
                               QStringLiteral("service"), QStringLiteral("receiver"),
                               QStringLiteral("provider")};
    QList<qsizetype> dumpedComponents;
    for (qsizetype index = 0; index < dumped.size(); ++index)
        if (dumped[index].depth == 2 && kinds.contains(dumped[index].name))
            dumpedComponents.append(index);
    const QList<DeclaredComponent> &read = exposure.components.components;
    QCOMPARE(read.size(), dumpedComponents.size());
    QCOMPARE(read.size(), names.size());
    for (qsizetype at = 0; at < read.size(); ++at) {
        const DeclaredComponent &component = read[at];
        const qsizetype element = dumpedComponents[at];
        const DumpedElement &written = dumped[element];
        QCOMPARE(kinds[int(component.kind)], written.name);
        QCOMPARE(component.name, names[at]);
        QVERIFY(component.name.endsWith(written.attributes.value(QStringLiteral("android:name"))
                                            .remove(QRegularExpression(QStringLiteral("^\\.")))));
        QCOMPARE(component.exported ? QVariant(*component.exported).toString() : QString(),
                 exported[at]);
        // A value written in place reads as aapt prints it; a reference is the row's to say.
        if (const QString inPlace = written.attributes.value(QStringLiteral("android:exported"));
            inPlace == QLatin1String("true") || inPlace == QLatin1String("false"))
            QCOMPARE(QVariant(*component.exported).toString(), inPlace);
        for (const auto &[attribute, value] :
             {std::pair{QStringLiteral("android:permission"), component.permission},
              std::pair{QStringLiteral("android:readPermission"), component.readPermission}})
            if (written.attributes.contains(attribute))
                QCOMPARE(value, written.attributes.value(attribute));
        QCOMPARE(component.authorities,
                 written.attributes.value(QStringLiteral("android:authorities"))
                     .split(u';', Qt::SkipEmptyParts));
        if (component.kind == ComponentKind::ActivityAlias)
            QVERIFY(names.contains(component.targetActivity));
        // Each filter's actions, categories and data as aapt printed them.
        QList<IntentFilter> filters;
        for (qsizetype child = element + 1;
             child < dumped.size() && dumped[child].depth > written.depth; ++child) {
            const DumpedElement &inner = dumped[child];
            const QString name = inner.attributes.value(QStringLiteral("android:name"));
            if (inner.name == QLatin1String("intent-filter"))
                filters.append(IntentFilter());
            else if (inner.name == QLatin1String("action"))
                filters.last().actions.append(name);
            else if (inner.name == QLatin1String("category"))
                filters.last().categories.append(name);
            else if (inner.name == QLatin1String("data")) {
                IntentFilter &filter = filters.last();
                const auto value = [&inner](const char *attribute) {
                    return inner.attributes.value(QStringLiteral("android:") +
                                                  QLatin1String(attribute));
                };
                if (!value("scheme").isEmpty())
                    filter.schemes.append(value("scheme"));
                if (!value("host").isEmpty())
                    filter.hosts.append(value("port").isEmpty()
                                            ? value("host")
                                            : value("host") + u':' + value("port"));
                for (const auto &[attribute, kind] :
                     {std::pair{"path", IntentFilter::DataPath::Exact},
                      std::pair{"pathPrefix", IntentFilter::DataPath::Prefix},
                      std::pair{"pathPattern", IntentFilter::DataPath::Pattern}})
                    if (!value(attribute).isEmpty())
                        filter.paths.append({kind, value(attribute)});
            }
        }
        QCOMPARE(component.intentFilters.size(), filters.size());
        for (qsizetype index = 0; index < filters.size(); ++index) {
            const IntentFilter &ours = component.intentFilters[index];
            QCOMPARE(ours.actions, filters[index].actions);
            QCOMPARE(ours.categories, filters[index].categories);
            QCOMPARE(ours.schemes, filters[index].schemes);
            QCOMPARE(ours.hosts, filters[index].hosts);
            QCOMPARE(ours.paths.size(), filters[index].paths.size());
            for (qsizetype path = 0; path < ours.paths.size(); ++path) {
                QCOMPARE(ours.paths[path].kind, filters[index].paths[path].kind);
                QCOMPARE(ours.paths[path].path, filters[index].paths[path].path);
            }
        }
    }
    QCOMPARE(exposure.components.launcherActivity, launcher);
    QCOMPARE(FlagTexts(exposure.flags), flags);
    // A flag the manifest sets reads as aapt prints it.
    for (const DumpedElement &element : dumped)
        if (element.depth == 1 && element.name == QLatin1String("application"))
            for (const QString &flag :
                 {QStringLiteral("debuggable"), QStringLiteral("testOnly"),
                  QStringLiteral("allowBackup"), QStringLiteral("extractNativeLibs"),
                  QStringLiteral("hasCode")})
                if (const QString written =
                        element.attributes.value(QStringLiteral("android:") + flag);
                    !written.isEmpty())
                    QVERIFY2(flags.contains(flag + u'=' + written), qPrintable(flag));
    QStringList codes;
    for (const Finding &finding : ExposureFindings(exposure, QDate::currentDate()))
        codes.append(finding.code);
    QCOMPARE(codes, findings);
}

void ApkContentsTest::hundredThousandComponents()
{
    // aapt takes more than a minute over such a manifest, and it is twice the manifest cap; the
    // document as the formats module would give it is built here instead.
    constexpr int Count = 100'000;
    XmlDocument manifest;
    const auto element = [&manifest](const char *name, int depth, qsizetype parent,
                                     QList<XmlAttribute> attributes = {}) {
        manifest.elements.append(
            {{}, QString::fromLatin1(name), depth, parent, {}, attributes, {}});
        return manifest.elements.size() - 1;
    };
    XmlAttribute package{{}, QStringLiteral("package"), 0, ValueType::String,
                         0,  QStringLiteral("org.big")};
    element("manifest", 0, -1, {package});
    const qsizetype application = element("application", 1, 0);
    const XmlAttribute exported{{}, QStringLiteral("exported"), 0x01010010, 0x12, 0xffffffff, {}};
    for (int index = 0; index < Count; ++index) {
        const XmlAttribute name{{}, QStringLiteral("name"),           0x01010003, ValueType::String,
                                0,  QStringLiteral(".A%1").arg(index)};
        const qsizetype activity =
            element("activity", 2, application,
                    index % 2 ? QList<XmlAttribute>{name, exported} : QList<XmlAttribute>{name});
        const qsizetype filter = element("intent-filter", 3, activity);
        // Android finds an action's name by its name alone: no resource id here, and every
        // other activity is exported only through it.
        element("action", 4, filter,
                {{QString::fromUtf16(AndroidNamespaceUri), QStringLiteral("name"), 0,
                  ValueType::String, 0, QStringLiteral("org.big.GO")}});
    }
    QVERIFY(manifest.elements.size() < MaxXmlNodes);
    // Measured, not asserted: the machine may be busy. Processor time says what the reading costs.
    QElapsedTimer timer;
    timer.start();
    const std::clock_t processorStart = std::clock();
    ManifestValues values(nullptr);
    const SdkLevels sdk = DeclaredSdkLevels(manifest, values);
    const DeclaredComponents declared = ReadDeclaredComponents(manifest, sdk, values);
    qInfo("%d components read in %lld ms (%lld ms of processor time)", Count, timer.elapsed(),
          qint64(std::clock() - processorStart) * 1000 / CLOCKS_PER_SEC);
    QCOMPARE(declared.components.size(), Count);
    QCOMPARE(declared.components.last().name, QStringLiteral("org.big.A%1").arg(Count - 1));
    const qsizetype open = std::count_if(
        declared.components.cbegin(), declared.components.cend(),
        [](const DeclaredComponent &component) { return component.exported.value_or(false); });
    QCOMPARE(open, Count);
}

void ApkContentsTest::platformPermissions_data()
{
    QTest::addColumn<QString>("name");  // empty: every permission the tool prints
    QTest::addColumn<QString>("level"); // in Android's words; empty when the platform has none
    QTest::addColumn<QString>("label"); // its zh-CN text; empty when not checked

    QTest::newRow("every one aapt prints") << QString() << QString() << QString();
    QTest::newRow("dangerous, with its Chinese label")
        << QStringLiteral("android.permission.CAMERA") << QStringLiteral("dangerous|instant")
        << QStringLiteral("拍摄照片和视频");
    QTest::newRow("normal") << QStringLiteral("android.permission.INTERNET")
                            << QStringLiteral("normal|instant") << QString();
    QTest::newRow("signature") << QStringLiteral("android.permission.BIND_JOB_SERVICE")
                               << QStringLiteral("signature") << QString();
    QTest::newRow("privileged") << QStringLiteral("android.permission.INSTALL_PACKAGES")
                                << QStringLiteral("signature|privileged") << QString();
    QTest::newRow("flags in Android's order")
        << QStringLiteral("android.permission.START_ACTIVITIES_FROM_BACKGROUND")
        << QStringLiteral("signature|privileged|verifier|oem|vendorPrivileged") << QString();
    QTest::newRow("flags of the development kind")
        << QStringLiteral("android.permission.SYSTEM_ALERT_WINDOW")
        << QStringLiteral("signature|development|appop|pre23|preinstalled") << QString();
    QTest::newRow("a flag later releases dropped")
        << QStringLiteral("android.permission.SUSPEND_APPS")
        << QStringLiteral("signature|wellbeing") << QString();
    QTest::newRow("not the platform's")
        << QStringLiteral("org.example.permission.OWN") << QString() << QString();
}

void ApkContentsTest::platformPermissions()
{
    QFETCH(QString, name);
    QFETCH(QString, level);
    QFETCH(QString, label);
    const QHash<QString, PermissionDefinition> &platform = ThePlatformPermissions();
    static const QHash<QString, quint32> tool = ToolPermissionLevels();
    QVERIFY(tool.size() > 500);
    if (name.isEmpty()) {
        QHash<QString, quint32> read;
        for (const PermissionDefinition &definition : platform)
            read.insert(definition.name, definition.protectionLevel.value_or(~0u));
        QCOMPARE(read, tool);
        return;
    }
    const auto found = platform.constFind(name);
    QCOMPARE(found != platform.cend(), !level.isEmpty());
    if (level.isEmpty())
        return;
    QVERIFY(found->protectionLevel);
    QCOMPARE(*found->protectionLevel, tool.value(name));
    QCOMPARE(ProtectionLevelName(*found->protectionLevel), level);
    QVERIFY(!found->description.isEmpty() || label.isEmpty());
    if (!label.isEmpty())
        QCOMPARE(found->label, label);
}

QTEST_GUILESS_MAIN(ApkContentsTest)
#include "ApkContentsTest.moc"
