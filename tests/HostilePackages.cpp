#include "HostilePackages.h"

#include "LittleEndian.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

constexpr qsizetype EndSize = 22;

qsizetype DirectoryOffset(const QByteArray &package)
{
    return Get<quint32>(package, package.size() - EndSize + 16);
}

// The central directory's records, each whole.
QList<QByteArray> Records(const QByteArray &package)
{
    QList<QByteArray> records;
    const qsizetype end = package.size() - EndSize;
    for (qsizetype at = DirectoryOffset(package); at < end;) {
        const qsizetype size = 46 + Get<quint16>(package, at + 28) +
                               Get<quint16>(package, at + 30) + Get<quint16>(package, at + 32);
        records.append(package.mid(at, size));
        at += size;
    }
    return records;
}

QByteArray RecordName(const QByteArray &record)
{
    return record.mid(46, Get<quint16>(record, 28));
}

// The package's entries, then `records` as its central directory and an end record for them.
QByteArray WithDirectory(const QByteArray &package, const QList<QByteArray> &records,
                         quint16 commentSize = 0)
{
    const qsizetype directoryOffset = DirectoryOffset(package);
    QByteArray result = package.first(directoryOffset);
    for (const QByteArray &record : records)
        result += record;
    QByteArray end = package.last(EndSize);
    Put<quint16>(end, 8, quint16(records.size()));
    Put<quint16>(end, 10, quint16(records.size()));
    Put<quint32>(end, 12, quint32(result.size() - directoryOffset));
    Put<quint16>(end, 20, commentSize);
    return result + end;
}

QByteArray Base64Sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toBase64();
}

} // namespace

QByteArray WithSecondArchive(const QByteArray &signedPackage, const QByteArray &other)
{
    const qsizetype signedEntries = DirectoryOffset(signedPackage);
    const qsizetype otherEntries = DirectoryOffset(other);
    // The other archive's entries move behind the signed ones, and its records with them.
    QList<QByteArray> otherRecords = Records(other);
    for (QByteArray &record : otherRecords)
        Put<quint32>(record, 42, Get<quint32>(record, 42) + quint32(signedEntries));
    QByteArray otherDirectory = WithDirectory(other, otherRecords).sliced(otherEntries);

    QByteArray result = signedPackage.first(signedEntries) + other.first(otherEntries);
    const qsizetype signedDirectory = result.size();
    QByteArray signedTail = signedPackage.sliced(signedEntries);
    Put<quint32>(signedTail, signedTail.size() - EndSize + 16, quint32(signedDirectory));
    Put<quint16>(signedTail, signedTail.size() - 2, quint16(otherDirectory.size()));
    result += signedTail;
    Put<quint32>(otherDirectory, otherDirectory.size() - EndSize + 16, quint32(result.size()));
    return result + otherDirectory;
}

QByteArray WithAliases(const QByteArray &package,
                       const std::function<bool(const QByteArray &)> &aliased, int copies)
{
    QList<QByteArray> records = Records(package);
    const QList<QByteArray> originals = records;
    for (const QByteArray &record : originals) {
        const QByteArray name = RecordName(record);
        if (!aliased(name))
            continue;
        const qsizetype dot = name.lastIndexOf('.');
        for (int copy = 1; copy <= copies; ++copy) {
            const QByteArray alias = name.first(dot) + QByteArray::number(copy) + name.sliced(dot);
            QByteArray aliased = record;
            aliased.replace(46, name.size(), alias);
            Put<quint16>(aliased, 28, quint16(alias.size()));
            records.append(aliased);
        }
    }
    return WithDirectory(package, records);
}

QByteArray BlockPair(quint32 id, const QByteArray &value)
{
    return Bytes<quint64>(quint64(value.size()) + 4) + Bytes<quint32>(id) + value;
}

QByteArray WithBlockPairs(const QByteArray &package,
                          const std::function<QByteArray(quint32, const QByteArray &)> &rewrite)
{
    const qsizetype directory = DirectoryOffset(package);
    const qsizetype blockStart = directory - qsizetype(Get<quint64>(package, directory - 24)) - 8;
    QByteArray pairs;
    for (qsizetype at = blockStart + 8; at < directory - 24;) {
        const qsizetype length = qsizetype(Get<quint64>(package, at));
        pairs += rewrite(Get<quint32>(package, at + 8), package.mid(at + 12, length - 4));
        at += 8 + length;
    }
    const QByteArray size = Bytes<quint64>(quint64(pairs.size()) + 24);
    QByteArray result = package.first(blockStart) + size + pairs + size +
                        QByteArray("APK Sig Block 42") + package.sliced(directory);
    Put<quint32>(result, result.size() - EndSize + 16,
                 quint32(directory + result.size() - package.size()));
    return result;
}

QStringList WriteRepeatedSectionSignature(const QString &directory, const QString &openssl,
                                          const QString &key, const QString &certificate,
                                          const QByteArray &entryName, const QByteArray &entryBytes,
                                          qint64 sectionSize, int repeats)
{
    QByteArray section = "Name: " + entryName + "\r\nSHA-256-Digest: " + Base64Sha256(entryBytes) +
                         "\r\nX-Padding: ";
    const QByteArray continuation = " " + QByteArray(69, 'p') + "\r\n";
    section += "p\r\n";
    while (section.size() < sectionSize)
        section += continuation;
    section += "\r\n";
    const QByteArray manifest = "Manifest-Version: 1.0\r\n\r\n" + section;
    const QByteArray signature =
        "Signature-Version: 1.0\r\n\r\n" +
        ("Name: " + entryName + "\r\nSHA-256-Digest: " + Base64Sha256(section) + "\r\n\r\n")
            .repeated(repeats);

    const QDir root(directory);
    root.mkpath(QStringLiteral("META-INF"));
    const QStringList names = {QStringLiteral("META-INF/MANIFEST.MF"),
                               QStringLiteral("META-INF/CERT.SF"),
                               QStringLiteral("META-INF/CERT.RSA")};
    for (const auto &[name, bytes] : {std::pair{names[0], manifest}, {names[1], signature}}) {
        QFile file(root.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
    }
    QProcess sign;
    sign.start(openssl,
               {QStringLiteral("cms"), QStringLiteral("-sign"), QStringLiteral("-binary"),
                QStringLiteral("-noattr"), QStringLiteral("-nosmimecap"), QStringLiteral("-md"),
                QStringLiteral("sha256"), QStringLiteral("-outform"), QStringLiteral("DER"),
                QStringLiteral("-signer"), certificate, QStringLiteral("-inkey"), key,
                QStringLiteral("-in"), root.filePath(names[1]), QStringLiteral("-out"),
                root.filePath(names[2])});
    if (!sign.waitForFinished(-1) || sign.exitStatus() != QProcess::NormalExit ||
        sign.exitCode() != 0)
        return {};
    return names;
}

QList<std::pair<QString, QByteArray>> AliasedIcon(int levels, int configurations,
                                                  const QString &leafFile, const QByteArray &leaf)
{
    static const char *const Qualifiers[] = {
        "",       "-ldpi", "-mdpi", "-tvdpi", "-hdpi",     "-xhdpi", "-xxhdpi", "-xxxhdpi",
        "-nodpi", "-land", "-port", "-night", "-notnight", "-v21",   "-v23",    "-v26",
        "-v28",   "-en",   "-fr",   "-de",    "-es",       "-it",    "-ja",     "-ko",
        "-ru",    "-pt",   "-ar",   "-small", "-large"};
    QByteArray aliases = "<resources>";
    for (int level = 0; level < levels; ++level)
        aliases += "<item type='drawable' name='l" + QByteArray::number(level) + "'>@drawable/" +
                   (level + 1 < levels ? "l" + QByteArray::number(level + 1) : "leaf") + "</item>";
    if (leafFile.isEmpty())
        aliases += "<drawable name='leaf'>" + leaf + "</drawable>";
    aliases += "</resources>";
    QList<std::pair<QString, QByteArray>> resources;
    if (!leafFile.isEmpty())
        resources.append({leafFile, leaf});
    for (int configuration = 0; configuration < std::min(configurations, 29); ++configuration)
        resources.append(
            {QStringLiteral("values%1/aliases.xml").arg(QLatin1String(Qualifiers[configuration])),
             aliases});
    return resources;
}
