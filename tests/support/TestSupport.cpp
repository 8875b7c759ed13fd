#include "TestSupport.h"

#include "CompactTable.h"
#include "LittleEndian.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <zlib.h>

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

namespace {

bool WriteText(const QString &path, const QString &text)
{
    return WriteFile(path, text.toUtf8());
}

bool RunAapt(const QStringList &arguments, const QString &directory = {},
             QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel)
{
    QProcess aapt;
    aapt.setProcessChannelMode(errors);
    aapt.setStandardOutputFile(QProcess::nullDevice());
    aapt.setWorkingDirectory(directory);
    aapt.start(QStringLiteral(SYSTEM_AAPT), arguments);
    return aapt.waitForFinished(-1) && aapt.exitStatus() == QProcess::NormalExit &&
           aapt.exitCode() == 0;
}

QString StringsXml(const QString &label)
{
    return QStringLiteral("<resources><string name=\"app_name\">%1</string></resources>\n")
        .arg(label);
}

} // namespace

PackageContents RefusedTableContents(const QString &chineseLabel)
{
    PackageContents contents;
    contents.chineseLabel = chineseLabel;
    contents.manifestElements =
        QStringLiteral("<uses-sdk android:minSdkVersion='21' android:targetSdkVersion='34'/>"
                       "<uses-permission android:name='android.permission.CAMERA'/>");
    QByteArray strings = "<resources>";
    for (int string = 1; string <= 11; ++string)
        strings += "<string name='s" + QByteArray::number(string) + "'>S</string>";
    contents.resources = {{QStringLiteral("values/more.xml"), strings + "</resources>"}};
    contents.compactTable = true;
    return contents;
}

QString CompactEntriesPackage(const char *name)
{
    return QStringLiteral(TEST_DATA_DIR "/compact-entries/%1.apk").arg(QLatin1String(name));
}

ProgramRun RunProgram(const QString &program, const QStringList &arguments,
                      const QString &directory)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray AssembleDex(const QString &directory, const QString &name, int api,
                       const DexClasses &classes)
{
    const QDir folder(directory);
    QStringList sources;
    for (const auto &[className, fields, methods] : classes) {
        QByteArray text = ".class public L" + className + ";\n.super Ljava/lang/Object;\n";
        for (int field = 0; field < fields; ++field)
            text += ".field public f" + QByteArray::number(field) + ":I\n";
        for (int method = 0; method < methods; ++method)
            text += ".method public static m" + QByteArray::number(method) +
                    "()V\n    .registers 0\n    return-void\n.end method\n";
        const QString source = folder.filePath(
            name + QLatin1Char('-') + QString::fromLatin1(className) + QStringLiteral(".smali"));
        if (!WriteFile(source, text))
            return {};
        sources.append(source);
    }
    const QString output = folder.filePath(name + QStringLiteral(".dex"));
    const ProgramRun smali =
        RunProgram(QStringLiteral(SYSTEM_SMALI),
                   QStringList{QStringLiteral("assemble"), QStringLiteral("--api"),
                               QString::number(api), QStringLiteral("-o"), output} +
                       sources);
    const bool assembled = smali.exitCode == 0;
    if (!assembled)
        qWarning("smali failed (exit %d): %s", smali.exitCode, smali.err.constData());
    return assembled ? ReadFile(output) : QByteArray();
}

QString BuildTestPackage(const QString &directory, const QString &fileName,
                         const TestPackage &package, const PackageContents &contents)
{
    QTemporaryDir source;
    QDir(source.path()).mkpath(QStringLiteral("res/values"));
    const QString version =
        package.versionName.isNull()
            ? QString()
            : QStringLiteral(" android:versionName=\"%1\"").arg(package.versionName);
    const QString sdk = package.minSdkVersion > 0
                            ? QStringLiteral("  <uses-sdk android:minSdkVersion=\"%1\"/>\n")
                                  .arg(package.minSdkVersion)
                            : QString();
    const QString manifest =
        (QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                        "<manifest xmlns:android=\"http://schemas.android.com/apk/res/android\"\n"
                        "    package=\"%1\" android:versionCode=\"") +
         QString::number(package.versionCode) +
         QStringLiteral("\"%2 %6>\n"
                        "%3"
                        "  %4\n"
                        "  <application android:label=\"%9\"%5>%7</application>\n"
                        "%8</manifest>\n"))
            .arg(package.packageName, version, sdk, contents.manifestElements,
                 (contents.icon.isEmpty()
                      ? QString()
                      : QStringLiteral(" android:icon=\"%1\"").arg(contents.icon)) +
                     u' ' + contents.applicationAttributes,
                 contents.manifestAttributes, contents.applicationElements, contents.manifestTail,
                 contents.literalLabel ? package.label : QStringLiteral("@string/app_name"));
    if (!WriteText(source.filePath(QStringLiteral("AndroidManifest.xml")), manifest) ||
        (!contents.literalLabel &&
         !WriteText(source.filePath(QStringLiteral("res/values/strings.xml")),
                    StringsXml(package.label))))
        return {};
    if (!contents.chineseLabel.isEmpty() &&
        !WriteText(source.filePath(QStringLiteral("res/values-zh-rCN/strings.xml")),
                   StringsXml(contents.chineseLabel)))
        return {};
    for (const auto &[path, bytes] : contents.resources)
        if (!WriteFile(source.filePath(QStringLiteral("res/") + path), bytes))
            return {};

    const QString output = QDir(directory).absoluteFilePath(fileName);
    QStringList arguments = {
        QStringLiteral("package"), QStringLiteral("-f"),
        QStringLiteral("-M"),      source.filePath(QStringLiteral("AndroidManifest.xml")),
        QStringLiteral("-I"),      QStringLiteral(FRAMEWORK_RES)};
    if (!contents.literalLabel)
        arguments += {QStringLiteral("-S"), source.filePath(QStringLiteral("res"))};
    if (!RunAapt(arguments + QStringList{QStringLiteral("-F"), output}))
        return {};
    // "aapt add" stores each file under the path it is given, relative to its directory.
    QTemporaryDir stored;
    QStringList paths;
    QList<std::pair<QString, QByteArray>> entries = contents.storedEntries;
    if (contents.compactTable) {
        const QByteArray table = ZipEntryBytes(ReadFile(output), "resources.arsc");
        if (table.isEmpty())
            return {};
        entries.append({QStringLiteral("resources.arsc"), WithCompactEntries(table)});
    }
    if (contents.rewriteManifest) {
        const QByteArray manifest =
            contents.rewriteManifest(ZipEntryBytes(ReadFile(output), "AndroidManifest.xml"));
        if (manifest.isEmpty())
            return {};
        entries.append({QStringLiteral("AndroidManifest.xml"), manifest});
    }
    for (const auto &[path, bytes] : std::as_const(entries)) {
        if (!WriteFile(stored.filePath(path), bytes))
            return {};
        paths.append(path);
        // Fails harmlessly when there is nothing to replace.
        RunAapt({QStringLiteral("remove"), output, path}, {}, QProcess::SeparateChannels);
    }
    if (!paths.isEmpty() &&
        !RunAapt(QStringList{QStringLiteral("add"), output} + paths, stored.path()))
        return {};
    return output;
}

QByteArray ZipEntryBytes(const QByteArray &zip, const QByteArray &name)
{
    constexpr quint16 Deflated = 8;
    // The local headers, one after another from the start.
    for (qsizetype at = 0; at + 30 <= zip.size() && Get<quint32>(zip, at) == 0x04034b50;) {
        const qsizetype nameLength = Get<quint16>(zip, at + 26);
        const qsizetype data = at + 30 + nameLength + Get<quint16>(zip, at + 28);
        const qsizetype size = Get<quint32>(zip, at + 18);
        if (zip.mid(at + 30, nameLength) != name) {
            at = data + size;
            continue;
        }
        if (Get<quint16>(zip, at + 8) != Deflated)
            return zip.mid(data, size);
        QByteArray inflated(Get<quint32>(zip, at + 22), Qt::Uninitialized);
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return {};
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zip.constData() + data));
        stream.avail_in = uInt(size);
        stream.next_out = reinterpret_cast<Bytef *>(inflated.data());
        stream.avail_out = uInt(inflated.size());
        const bool whole = inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out == 0;
        inflateEnd(&stream);
        return whole ? inflated : QByteArray();
    }
    return {};
}

bool StartMappingWriter(QProcess &writer, const QStringList &arguments)
{
    writer.start(QStringLiteral(MAPPING_WRITER), arguments);
    return writer.waitForReadyRead(30000) && writer.readLine().trimmed() == "mapped";
}

qint64 LabelOffset(const QString &path, const QString &label)
{
    const QByteArray utf16(reinterpret_cast<const char *>(label.utf16()), label.size() * 2);
    const QByteArray bytes = ReadFile(path);
    return bytes.count(utf16) == 1 ? bytes.indexOf(utf16) : -1;
}

bool BuildTestZip(const QString &path, const ZipEntries &entries, bool stored)
{
    QTemporaryDir files;
    QStringList paths;
    for (const auto &[name, bytes] : entries) {
        if (!WriteFile(files.filePath(name), bytes))
            return false;
        paths.append(name);
    }
    QFile::remove(path);
    // "aapt add" deflates every entry; "aapt package -0 ''" stores a folder's files as they are.
    if (stored)
        return RunAapt({QStringLiteral("package"), QStringLiteral("-0"), QString(),
                        QStringLiteral("-F"), QFileInfo(path).absoluteFilePath(), files.path()});
    return RunAapt(QStringList{QStringLiteral("add"), QFileInfo(path).absoluteFilePath()} + paths,
                   files.path());
}

bool AppendZeroEntry(const QString &path, const QByteArray &name, qint64 size)
{
    constexpr qsizetype EndRecordSize = 22;
    const QByteArray zip = ReadFile(path);
    if (zip.size() < EndRecordSize || Get<quint32>(zip, zip.size() - EndRecordSize) != 0x06054b50)
        return false;
    const QByteArray end = zip.last(EndRecordSize);
    const qint64 directoryOffset = Get<quint32>(end, 16);
    const QByteArray directory = zip.mid(directoryOffset, Get<quint32>(end, 12));
    // The checksum of the zeros, a mebibyte at a time.
    const QByteArray zeros(1 << 20, '\0');
    uLong crc = crc32(0, nullptr, 0);
    for (qint64 done = 0; done < size; done += zeros.size())
        crc = crc32(crc, reinterpret_cast<const Bytef *>(zeros.constData()),
                    uInt(qMin<qint64>(zeros.size(), size - done)));
    // The fields a local header and a directory record share, from the version needed on.
    const QByteArray common = Bytes<quint16>(10) + Bytes<quint16>(0) + Bytes<quint16>(0) +
                              Bytes<quint32>(0) + Bytes<quint32>(quint32(crc)) +
                              Bytes<quint32>(quint32(size)) + Bytes<quint32>(quint32(size)) +
                              Bytes<quint16>(quint16(name.size())) + Bytes<quint16>(0);
    const QByteArray local = Bytes<quint32>(0x04034b50) + common + name;
    // No comment, disk 0, no attributes.
    const QByteArray record = Bytes<quint32>(0x02014b50) + Bytes<quint16>(20) + common +
                              Bytes<quint16>(0) + Bytes<quint16>(0) + Bytes<quint16>(0) +
                              Bytes<quint32>(0) + Bytes<quint32>(quint32(directoryOffset)) + name;
    const qint64 newDirectoryOffset = directoryOffset + local.size() + size;
    QByteArray newEnd = end;
    Put<quint16>(newEnd, 8, quint16(Get<quint16>(end, 8) + 1));
    Put<quint16>(newEnd, 10, quint16(Get<quint16>(end, 10) + 1));
    Put<quint32>(newEnd, 12, quint32(directory.size() + record.size()));
    Put<quint32>(newEnd, 16, quint32(newDirectoryOffset));
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.resize(directoryOffset) &&
           file.seek(directoryOffset) && file.write(local) == local.size() &&
           file.resize(directoryOffset + local.size() + size) && file.seek(newDirectoryOffset) &&
           file.write(directory + record + newEnd) ==
               directory.size() + record.size() + EndRecordSize;
}

TestKey MakeTestKey(const QString &directory, const QString &name)
{
    const QDir folder(directory);
    TestKey key{folder.filePath(name + QStringLiteral(".pk8")),
                folder.filePath(name + QStringLiteral(".pem")),
                {}};
    const QString pem = folder.filePath(name + QStringLiteral("-key.pem"));
    const auto openssl = [](const QStringList &arguments) {
        QProcess tool;
        tool.setStandardErrorFile(QProcess::nullDevice());
        tool.start(QStringLiteral(SYSTEM_OPENSSL), arguments);
        tool.waitForFinished(-1);
        return tool.readAllStandardOutput();
    };
    openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
             QStringLiteral("-days"), QStringLiteral("3650"), QStringLiteral("-newkey"),
             QStringLiteral("rsa:2048"), QStringLiteral("-subj"),
             QStringLiteral("/CN=Pelmora %1").arg(name), QStringLiteral("-keyout"), pem,
             QStringLiteral("-out"), key.certificate});
    openssl({QStringLiteral("pkcs8"), QStringLiteral("-topk8"), QStringLiteral("-nocrypt"),
             QStringLiteral("-in"), pem, QStringLiteral("-outform"), QStringLiteral("DER"),
             QStringLiteral("-out"), key.key});
    const QByteArray fingerprint = openssl(
        {QStringLiteral("x509"), QStringLiteral("-in"), key.certificate, QStringLiteral("-noout"),
         QStringLiteral("-fingerprint"), QStringLiteral("-sha256")});
    key.certificateSha256 =
        QString::fromLatin1(fingerprint.mid(fingerprint.indexOf('=') + 1).trimmed());
    return key;
}

bool SignTestPackage(const QString &input, const QString &output, const TestKey &key, bool jarOnly)
{
    QStringList arguments = {QStringLiteral("sign"), QStringLiteral("--key"), key.key,
                             QStringLiteral("--cert"), key.certificate};
    // A container has no manifest to take the minimum SDK from.
    if (jarOnly)
        arguments += {QStringLiteral("--min-sdk-version"),    QStringLiteral("21"),
                      QStringLiteral("--v2-signing-enabled"), QStringLiteral("false"),
                      QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
    arguments += {QStringLiteral("--out"), output, input};
    QProcess signer;
    signer.setProcessChannelMode(QProcess::ForwardedChannels);
    signer.start(QStringLiteral(SYSTEM_APKSIGNER), arguments);
    return signer.waitForFinished(-1) && signer.exitStatus() == QProcess::NormalExit &&
           signer.exitCode() == 0;
}

bool RunningInCopy()
{
    return qEnvironmentVariableIsSet("PELMORA_TEST_COPY");
}

int RunCopyBesideTool(const QString &tool, const QString &testFunction, const QString &toolMode,
                      bool throughLink)
{
    QTemporaryDir scratch;
    const QDir directory(scratch.filePath(QStringLiteral("program dir 'x' \"y\" $(true)")));
    const QDir elsewhere(scratch.filePath(QStringLiteral("elsewhere")));
    if (!directory.mkpath(QStringLiteral(".")) || !elsewhere.mkpath(QStringLiteral(".")))
        return -1;
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QString copy = directory.filePath(name);
    if (!QFile::copy(QCoreApplication::applicationFilePath(), copy))
        return -1;
    if (!tool.isEmpty() && !QFile::link(tool, directory.filePath(QStringLiteral("aapt"))))
        return -1;
    if (throughLink) {
        if (!QFile::link(copy, elsewhere.filePath(name)))
            return -1;
        copy = elsewhere.filePath(name);
    }

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELMORA_TEST_COPY"), QStringLiteral("1"));
    if (!toolMode.isEmpty())
        environment.insert(QStringLiteral("FAKE_TOOL_MODE"), toolMode);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(copy, {testFunction});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    return child.exitCode();
}

qint64 BytesReadBy(const QString &pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}
