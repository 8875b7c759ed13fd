#include "HostilePackages.h"
#include "LittleEndian.h"
#include "SignedPackages.h"

#include <QFile>
#include <QTest>

// The archive under every scheme: a damaged or changed file, entries named twice, a second
// archive behind the first, entries that share their data, and deflate bombs, held against
// apksigner.

namespace {

enum class Change
{
    None,
    ArchiveComment, // a ZIP comment given to the package before it is signed
    FlipEntryByte,  // one byte of classes.dex, after signing
    Truncate,       // the second half cut off
    DuplicateEntry, // classes.dey renamed classes.dex in the ZIP headers, after signing
    Zip64Marker,    // the end record says its directory offset is in a ZIP64 record
    // Hostile packages, made as an attacker would make them from signed ones:
    SecondArchive,  // another package's entries and directory behind the signed ones
    AliasedEntry,   // a second directory record for classes.dex's local entry
    BombNamedOften, // a 256 MiB entry of zeros, named 64 times in the directory
    Bomb,           // that entry, named once, and signed
    AliasedSigners, // the JAR signature files named 4,000 times over
};

constexpr qint64 BombSize = qint64(256) << 20;

bool AddComment(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    // aapt writes no comment: the end record's last field, the comment's length, ends the file.
    const QByteArray comment("PK\x05\x06 not an end record, only a comment");
    return file.seek(file.size() - 2) &&
           file.write(Bytes(quint16(comment.size())) + comment) == comment.size() + 2;
}

// apksigner inflates whatever a package holds, where a deflate bomb is refused here.
Ruling ApksignersRuling(Change change, const QString &)
{
    return {.refusedHere = change == Change::Bomb};
}

} // namespace

class ArchiveIntegrityTest : public SignatureRulesTest
{
    Q_OBJECT

    void addRows() override;
    void checkRow() override;

    Alteration alteration(Change change) const;
    bool addBomb(const QString &path) const;
    QByteArray hostile(Change change, const QByteArray &bytes) const;
};

bool ArchiveIntegrityTest::addBomb(const QString &path) const
{
    QFile bomb(packages.filePath(QStringLiteral("bomb.bin")));
    if (!bomb.open(QIODevice::WriteOnly) || !bomb.resize(BombSize))
        return false;
    bomb.close();
    return packages.addEntries(path, {QStringLiteral("bomb.bin")});
}

QByteArray ArchiveIntegrityTest::hostile(Change change, const QByteArray &bytes) const
{
    switch (change) {
    case Change::FlipEntryByte: {
        // classes.dex must be stored to be found.
        const qsizetype at = bytes.indexOf(packages.payload().first(64));
        if (at < 0)
            return {};
        QByteArray flipped = bytes;
        flipped[at + 100] = char(flipped[at + 100] ^ 1);
        return flipped;
    }
    case Change::Truncate:
        return bytes.first(bytes.size() / 2);
    case Change::DuplicateEntry: {
        // The names appear in plain text only in the ZIP headers; the manifest is compressed.
        QByteArray renamed = bytes;
        return renamed.replace("classes.dey", "classes.dex");
    }
    case Change::Zip64Marker: {
        // No comment here either: the directory offset is the end record's field before last.
        QByteArray marked = bytes;
        Put<quint32>(marked, marked.size() - 6, 0xffffffff);
        return marked;
    }
    case Change::SecondArchive: {
        const QString other =
            BuildTestPackage(packages.folder(), QStringLiteral("other.apk"),
                             {QStringLiteral("org.pelmora.other"), QStringLiteral("6.6"),
                              QStringLiteral("另一个"), 0});
        return WithSecondArchive(bytes, ReadFile(other));
    }
    case Change::AliasedEntry:
        return WithAliases(
            bytes, [](const QByteArray &name) { return name == "classes.dex"; }, 1);
    case Change::BombNamedOften:
        return WithAliases(
            bytes, [](const QByteArray &name) { return name == "bomb.bin"; }, 63);
    case Change::AliasedSigners:
        return WithAliases(
            bytes,
            [](const QByteArray &name) {
                return name.startsWith("META-INF/") &&
                       (name.endsWith(".SF") || name.endsWith(".RSA"));
            },
            4000);
    default:
        return bytes;
    }
}

Alteration ArchiveIntegrityTest::alteration(Change change) const
{
    if (change == Change::None)
        return {};
    if (change == Change::ArchiveComment)
        return {.beforeSigning = AddComment};
    Alteration alteration =
        AfterSigning([this, change](const QByteArray &bytes) { return hostile(change, bytes); });
    if (change == Change::Bomb || change == Change::BombNamedOften)
        alteration.beforeSigning = [this](const QString &path) { return addBomb(path); };
    return alteration;
}

void ArchiveIntegrityTest::addRows()
{
    AddSignedPackageColumns<Change>();

    const QString malformed = Failed + QStringLiteral("ZIP 结构异常：");

    QTest::newRow("unsigned") << 0 << QString() << QStringList() << Change::None << QByteArray()
                              << QStringLiteral("无") << QStringLiteral("未签名") << QString();
    QTest::newRow("v1 v2 v3, archive comment")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::ArchiveComment << QByteArray()
        << AllSchemes << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("v1 v2 v3, entry byte changed")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::FlipEntryByte << QByteArray()
        << AllSchemes << Failed + QStringLiteral("v1 文件 classes.dex 摘要不符") << Rsa2048;
    QTest::newRow("v2 only, entry byte changed")
        << 24 << QStringLiteral("rsa") << V2Only << Change::FlipEntryByte << QByteArray()
        << QStringLiteral("v2") << Failed + QStringLiteral("v2 内容摘要不符") << Rsa2048;
    QTest::newRow("truncated") << 0 << QStringLiteral("rsa") << QStringList() << Change::Truncate
                               << QByteArray() << QStringLiteral("无")
                               << Failed + QStringLiteral("ZIP 结构损坏") << QString();
    QTest::newRow("v1 only, an entry named twice")
        << 0 << QStringLiteral("rsa") << V1Only << Change::DuplicateEntry << QByteArray()
        << QStringLiteral("无")
        << Failed + QStringLiteral("ZIP 结构异常：文件 classes.dex 重复出现") << QString();
    QTest::newRow("two end records")
        << 0 << QStringLiteral("rsa") << V1Only << Change::SecondArchive << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("有多个结束记录") << QString();
    QTest::newRow("aliased entry")
        << 0 << QStringLiteral("rsa") << V1Only << Change::AliasedEntry << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();
    QTest::newRow("deflate bomb named 64 times")
        << 0 << QStringLiteral("rsa") << V1Only << Change::BombNamedOften << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();
    QTest::newRow("deflate bomb") << 0 << QStringLiteral("rsa") << V1Only << Change::Bomb
                                  << QByteArray() << QStringLiteral("v1 (JAR)")
                                  << Failed + QStringLiteral("v1 解压后的数据超过上限") << Rsa2048;
    QTest::newRow("4,000 aliased JAR signers")
        << 0 << QStringLiteral("rsa") << V1Only << Change::AliasedSigners << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();
    QTest::newRow("ZIP64 marker") << 0 << QString() << QStringList() << Change::Zip64Marker
                                  << QByteArray() << QStringLiteral("无")
                                  << Failed + QStringLiteral("不支持 ZIP64") << QString();
}

void ArchiveIntegrityTest::checkRow()
{
    MatchesApksigner<Change>(
        packages, [this](Change change) { return alteration(change); }, ApksignersRuling);
}

QTEST_GUILESS_MAIN(ArchiveIntegrityTest)
#include "ArchiveIntegrityTest.moc"
