#include "HostilePackages.h"
#include "JarSignatureFiles.h"
#include "LittleEndian.h"
#include "SignedPackages.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <QFile>
#include <QHash>
#include <QTest>

// The JAR signature (v1) as Android reads it: the manifest, the signature files, the PKCS #7
// signature block and its signed attributes, and what JAR signing alone allows, held against
// apksigner.

namespace {

enum class Change
{
    None,
    RepeatedSection, // a signature file naming one 1 MiB manifest section 200 times
    ElevenSigners,   // ten more copies of the JAR signature files, each an entry of its own
    // The JAR files written here (see WriteJarFiles):
    SignedAttributes,           // a SignerInfo with well-formed signed attributes
    AttributesNoContentType,    // the same without a content type
    AttributesWrongContentType, // the same whose content type is not id-data
    AttributesTwoDigests,       // the same with two message digests
    TwoSignerInfos,      // a SignerInfo by another key with a wrong content type, then a good one
    Sha384Digests,       // MANIFEST.MF and the .SF naming SHA-384 digests only
    WrongMainAttributes, // a wrong -Digest-Manifest-Main-Attributes beside a right manifest digest
    WrongStrongerDigest, // a wrong SHA-384-Digest for classes.dex beside its right SHA-256-Digest
    SectionTwice,        // the manifest naming classes.dex in two sections
    LocalMethodStored,   // the signature block's local header saying stored, its data deflated
    Method21,            // the signature block's method 21 in both headers, its data deflated
    LowerCaseSignatureFile, // the .SF renamed .sf in the ZIP headers
    ExtraMetaInfEntry,      // META-INF/extra.version added after signing
    ManifestBomb,           // MANIFEST.MF of 100,000 one-line sections under a valid signature
};

// The central directory's records, each whole, with where each starts (no archive comment).
QList<std::pair<qsizetype, QByteArray>> DirectoryRecords(const QByteArray &package)
{
    QList<std::pair<qsizetype, QByteArray>> records;
    const qsizetype end = package.size() - 22;
    for (qsizetype at = Get<quint32>(package, end + 16); at < end;) {
        const qsizetype size = 46 + Get<quint16>(package, at + 28) +
                               Get<quint16>(package, at + 30) + Get<quint16>(package, at + 32);
        records.append({at, package.mid(at, size)});
        at += size;
    }
    return records;
}

QByteArray RecordName(const QByteArray &record)
{
    return record.mid(46, Get<quint16>(record, 28));
}

// The package with each JAR signature block's compression method set to `local` in its local
// header and to `central` in its central directory record.
QByteArray WithSignatureBlockMethod(QByteArray package, quint16 local, quint16 central)
{
    for (const auto &[at, record] : DirectoryRecords(package)) {
        if (!RecordName(record).startsWith("META-INF/") || !RecordName(record).endsWith(".RSA"))
            continue;
        Put(package, at + 10, central);
        Put(package, Get<quint32>(record, 42) + 8, local);
    }
    return package;
}

// apksigner takes any number of JAR signers, where more than ten are refused here.
Ruling ApksignersRuling(Change change, const QString &)
{
    return {.refusedHere = change == Change::ElevenSigners};
}

} // namespace

class JarSignatureTest : public SignatureRulesTest
{
    Q_OBJECT

    void addRows() override;
    void checkRow() override;

    Alteration alteration(Change change) const;
    bool addRepeatedSection(const QString &path) const;
    bool addElevenSigners(const QString &path) const;
    QStringList writeJarFiles(const QString &package, const QString &folder, Change change) const;
    QByteArray withJarChange(Change change, const QByteArray &bytes) const;
};

bool JarSignatureTest::addRepeatedSection(const QString &path) const
{
    const KeyFacts rsa = packages.key(QStringLiteral("rsa"));
    const QStringList names = WriteRepeatedSectionSignature(
        packages.folder(), QStringLiteral(SYSTEM_OPENSSL), rsa.pemKey, rsa.certificate,
        "classes.dex", packages.payload(), 1 << 20, 200);
    return !names.isEmpty() && packages.addEntries(path, names);
}

// Ten more signers in the v1-signed package at `path`: copies of its signature files, each a
// distinct entry, all valid.
bool JarSignatureTest::addElevenSigners(const QString &path) const
{
    const SafeFile package(QFile::encodeName(path));
    const ZipArchive archive(package);
    QStringList copies;
    for (const QByteArray &name : archive.entryNames()) {
        if (!name.startsWith("META-INF/") || !(name.endsWith(".SF") || name.endsWith(".RSA")))
            continue;
        const auto content = archive.readEntry(name, 1 << 20);
        const qsizetype dot = name.lastIndexOf('.');
        for (int copy = 1; content && copy <= 10; ++copy) {
            const QString copyName = QString::fromLatin1(
                name.first(dot) + "-" + QByteArray::number(copy) + name.sliced(dot));
            if (!WriteFile(packages.filePath(copyName), *content))
                return false;
            copies.append(copyName);
        }
    }
    return copies.size() == 20 && packages.addEntries(path, copies);
}

// Writes META-INF/MANIFEST.MF, CERT.SF and CERT.RSA for the entries of `package` into `folder`
// as `change` asks, signed with the "rsa" key. Returns their names relative to `folder`.
QStringList JarSignatureTest::writeJarFiles(const QString &package, const QString &folder,
                                            Change change) const
{
    const KeyFacts rsa = packages.key(QStringLiteral("rsa"));
    if (change == Change::ManifestBomb)
        return WriteManifestBomb(folder, QStringLiteral(SYSTEM_OPENSSL), rsa.pemKey,
                                 rsa.certificate, 100'000 * 11);
    const QHash<Change, SignedAttributes> attributes = {
        {Change::SignedAttributes, SignedAttributes::Good},
        {Change::AttributesNoContentType, SignedAttributes::NoContentType},
        {Change::AttributesWrongContentType, SignedAttributes::WrongContentType},
        {Change::AttributesTwoDigests, SignedAttributes::TwoDigests},
        {Change::TwoSignerInfos, SignedAttributes::Good}};
    JarSignature signature;
    signature.signers = {
        SignerWithKey(rsa.key, rsa.certificate, attributes.value(change, SignedAttributes::None))};
    if (change == Change::TwoSignerInfos) {
        const KeyFacts next = packages.key(QStringLiteral("next"));
        signature.signers.prepend(
            SignerWithKey(next.key, next.certificate, SignedAttributes::WrongContentType));
    }
    signature.sha384 = change == Change::Sha384Digests;
    signature.wrongMainAttributes = change == Change::WrongMainAttributes;
    signature.wrongStrongerDigest = change == Change::WrongStrongerDigest;
    signature.sectionTwice = change == Change::SectionTwice;
    return WriteJarFiles(package, folder, signature);
}

QByteArray JarSignatureTest::withJarChange(Change change, const QByteArray &bytes) const
{
    switch (change) {
    case Change::LocalMethodStored:
        return WithSignatureBlockMethod(bytes, 0, 8);
    case Change::Method21:
        return WithSignatureBlockMethod(bytes, 21, 21);
    case Change::LowerCaseSignatureFile: {
        QByteArray renamed = bytes;
        for (const auto &[at, record] : DirectoryRecords(bytes)) {
            const QByteArray name = RecordName(record);
            if (name.startsWith("META-INF/") && name.endsWith(".SF"))
                renamed.replace(name, name.chopped(3) + ".sf");
        }
        return renamed;
    }
    case Change::ElevenSigners:
        return packages.changedAsFile(
            bytes, [this](const QString &path) { return addElevenSigners(path); });
    case Change::ExtraMetaInfEntry:
        return packages.changedAsFile(bytes, [this](const QString &path) {
            return WriteFile(packages.filePath(QStringLiteral("META-INF/extra.version")),
                             "1.0\n") &&
                   packages.addEntries(path, {QStringLiteral("META-INF/extra.version")});
        });
    default:
        return packages.changedAsFile(bytes, [this, change](const QString &path) {
            return packages.replaceJarFiles(
                path, [&](const QString &folder) { return writeJarFiles(path, folder, change); });
        });
    }
}

Alteration JarSignatureTest::alteration(Change change) const
{
    switch (change) {
    case Change::None:
        return {};
    case Change::RepeatedSection:
        return {.beforeSigning = [this](const QString &path) { return addRepeatedSection(path); }};
    default:
        return AfterSigning(
            [this, change](const QByteArray &bytes) { return withJarChange(change, bytes); });
    }
}

void JarSignatureTest::addRows()
{
    AddSignedPackageColumns<Change>();

    QTest::newRow("v1 only") << 0 << QStringLiteral("rsa") << V1Only << Change::None << QByteArray()
                             << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("signature file repeating a section")
        << 0 << QString() << QStringList() << Change::RepeatedSection << QByteArray()
        << QStringLiteral("v1 (JAR)") << Failed + QStringLiteral("v1 没有有效的签名文件")
        << Rsa2048;
    QTest::newRow("eleven JAR signers")
        << 0 << QStringLiteral("rsa") << V1Only << Change::ElevenSigners << QByteArray()
        << QStringLiteral("v1 (JAR)") << Failed + QStringLiteral("v1 签名者过多") << QString();

    // The range of versions each rule holds for is the package's own, from its minimum SDK.
    const QString block = QStringLiteral("META-INF/CERT.RSA");
    QTest::newRow("signed attributes")
        << 21 << QStringLiteral("rsa") << V1Only << Change::SignedAttributes << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("signed attributes without a content type")
        << 21 << QStringLiteral("rsa") << V1Only << Change::AttributesNoContentType << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 %1 的签名属性缺少内容类型").arg(block) << QString();
    QTest::newRow("signed attributes with a wrong content type")
        << 21 << QStringLiteral("rsa") << V1Only << Change::AttributesWrongContentType
        << QByteArray() << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 签名文件 %1 校验失败").arg(block) << QString();
    QTest::newRow("signed attributes with two message digests")
        << 21 << QStringLiteral("rsa") << V1Only << Change::AttributesTwoDigests << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 %1 的签名属性格式错误").arg(block) << QString();
    // Before 7.0 Android takes the first SignerInfo, from 7.0 on the first that verifies.
    QTest::newRow("two SignerInfos, the first refused from 7.0 on, minimum SDK 21")
        << 21 << QStringLiteral("rsa") << V1Only << Change::TwoSignerInfos << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 签名文件 %1 校验失败").arg(block) << QString();
    QTest::newRow("two SignerInfos, the first refused from 7.0 on, minimum SDK 24")
        << 24 << QStringLiteral("rsa") << V1Only << Change::TwoSignerInfos << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("SHA-384 digests in MANIFEST.MF and the signature file")
        << 18 << QStringLiteral("rsa") << V1Only << Change::Sha384Digests << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("wrong digest of the manifest's main attributes")
        << 18 << QStringLiteral("rsa") << V1Only << Change::WrongMainAttributes << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 META-INF/CERT.SF 与清单的主属性不符") << Rsa2048;
    QTest::newRow("wrong SHA-384 digest beside a right SHA-256 one")
        << 18 << QStringLiteral("rsa") << V1Only << Change::WrongStrongerDigest << QByteArray()
        << QStringLiteral("v1 (JAR)") << Failed + QStringLiteral("v1 文件 classes.dex 摘要不符")
        << Rsa2048;
    QTest::newRow("manifest section given twice")
        << 18 << QStringLiteral("rsa") << V1Only << Change::SectionTwice << QByteArray()
        << QStringLiteral("v1 (JAR)") << Failed + QStringLiteral("v1 清单中 classes.dex 出现了两次")
        << Rsa2048;
    QTest::newRow("local header naming another method than the directory")
        << 0 << QStringLiteral("rsa") << V1Only << Change::LocalMethodStored << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("method 21 in the central directory")
        << 0 << QStringLiteral("rsa") << V1Only << Change::Method21 << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("signature file named in lower case")
        << 0 << QStringLiteral("rsa") << V1Only << Change::LowerCaseSignatureFile << QByteArray()
        << QStringLiteral("无") << QStringLiteral("未签名") << QString();
    QTest::newRow("extra META-INF entry")
        << 0 << QStringLiteral("rsa") << V1Only << Change::ExtraMetaInfEntry << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("manifest of 100,000 sections")
        << 0 << QStringLiteral("rsa") << V1Only << Change::ManifestBomb << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 META-INF/MANIFEST.MF 的节数或属性数超过上限") << Rsa2048;
}

void JarSignatureTest::checkRow()
{
    MatchesApksigner<Change>(
        packages, [this](Change change) { return alteration(change); }, ApksignersRuling);
}

QTEST_GUILESS_MAIN(JarSignatureTest)
#include "JarSignatureTest.moc"
