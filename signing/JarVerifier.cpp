#include "JarVerifier.h"

#include "ApiLevels.h"
#include "CertificateFacts.h"
#include "JarManifest.h"
#include "JarSignatureBlock.h"
#include "SigningBlock.h"
#include "archive/ZipArchive.h"

#include <QSet>
#include <map>

namespace {

const QByteArray ManifestName("META-INF/MANIFEST.MF");
const QByteArray MetaInf("META-INF/");
constexpr qint64 MaxSignatureBlockSize = 4 << 20;

struct JarSigner
{
    QByteArray signatureFileName;
    QByteArray blockName;
    QByteArray signatureFile;
    QByteArray certificate;
    QSet<QByteArray> named; // the entries its signature file names
};

// Each signature block in META-INF/ with a signature file of its name ending in .SF beside it,
// in the central directory's order. Android compares these names with their case.
QList<JarSigner> FindSigners(const QList<QByteArray> &names)
{
    const QSet<QByteArray> all(names.begin(), names.end());
    QList<JarSigner> signers;
    for (const QByteArray &name : names) {
        if (!name.startsWith(MetaInf) ||
            !(name.endsWith(".RSA") || name.endsWith(".DSA") || name.endsWith(".EC")))
            continue;
        const QByteArray signatureFile = name.first(name.lastIndexOf('.')) + ".SF";
        if (all.contains(signatureFile))
            signers.append({signatureFile, name, {}, {}, {}});
    }
    return signers;
}

QString EntryText(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

// The digests of the manifest and of its sections, each computed once: signature files may
// name one large section many times, and every signer digests the whole manifest.
class ManifestDigests
{
public:
    explicit ManifestDigests(const JarManifest &manifest) : manifest(manifest) {}

    // Whether every digest matches `bytes`, a part of the manifest; at least one must be given.
    bool match(QByteArrayView bytes, const QList<JarDigest> &digests)
    {
        if (digests.isEmpty())
            return false;
        for (const JarDigest &digest : digests) {
            const auto key = std::make_tuple(bytes.data() - manifest.bytes().constData(),
                                             bytes.size(), int(digest.algorithm));
            auto found = known.find(key);
            if (found == known.end())
                found = known.emplace(key, DigestOf(digest.algorithm, bytes)).first;
            if (found->second != digest.expected)
                return false;
        }
        return true;
    }

private:
    const JarManifest &manifest;
    std::map<std::tuple<qsizetype, qsizetype, int>, QByteArray> known;
};

// Whether the signer says it also signed with a scheme that the range knows and the package
// lacks: Android then refuses it as stripped.
bool StrippedOfScheme(const JarManifest &signature, bool v2Present, bool v3Present, int maxSdk)
{
    const std::optional<QByteArray> ids = signature.value(signature.main(), "X-Android-APK-Signed");
    if (!ids || maxSdk < ApiLevel::Nougat)
        return false;
    for (const QByteArray &id : ids->split(',')) {
        bool number = false;
        const int scheme = id.trimmed().toInt(&number);
        if (number &&
            ((scheme == 2 && !v2Present) || (scheme == 3 && maxSdk >= ApiLevel::Pie && !v3Present)))
            return true;
    }
    return false;
}

enum class FileOutcome
{
    Used,
    Ignored, // Android passes over such a signature file, and its signer with it
    Failed
};

class JarCheck
{
public:
    JarCheck(const ZipArchive &archive, int minSdk, int maxSdk)
        : archive(archive), minSdk(minSdk), maxSdk(maxSdk)
    {
    }

    SchemeResult failure;

    // The entry's bytes, refused past `cap` before a byte is inflated.
    std::optional<QByteArray> read(const QByteArray &name, qint64 cap)
    {
        if (archive.entrySize(name).value_or(0) > cap)
            return fail(QStringLiteral("%1 超过大小上限").arg(EntryText(name)));
        const auto bytes = archive.readEntry(name, cap);
        if (!bytes)
            return fail(QStringLiteral("文件 %1 无法读取").arg(EntryText(name)));
        return bytes;
    }

    // The digests `suffix` names in `section`; nothing (a failure) when Android would throw or
    // a limit is reached.
    std::optional<QList<JarDigest>> digests(const JarManifest &file, const QByteArray &fileName,
                                            const JarManifest::Section &section,
                                            QByteArrayView suffix)
    {
        const JarDigests found = DigestsToCheck(file, section, suffix, minSdk, maxSdk);
        if (found.malformed)
            return fail(QStringLiteral("%1 中的摘要不是合法的 Base64").arg(EntryText(fileName)));
        if (found.overLimit)
            return fail(
                QStringLiteral("%1 的 Digest-Algorithms 超过上限").arg(EntryText(fileName)));
        return found.digests;
    }

    FileOutcome checkSignatureFile(JarSigner &signer, const JarManifest &manifest,
                                   const QHash<QByteArray, qsizetype> &sectionByName,
                                   ManifestDigests &manifestDigests, bool v2Present, bool v3Present)
    {
        const JarManifest signature(signer.signatureFile);
        const QString fileName = EntryText(signer.signatureFileName);
        if (signature.overLimit()) {
            fail(QStringLiteral("%1 的节数或属性数超过上限").arg(fileName));
            return FileOutcome::Failed;
        }
        const JarManifest::Section &main = signature.main();
        if (!signature.value(main, "Signature-Version"))
            return FileOutcome::Ignored;
        if (StrippedOfScheme(signature, v2Present, v3Present, maxSdk)) {
            failure = SchemeResult::failed(QStringLiteral("v2/v3 签名已被剥离"), true);
            return FileOutcome::Failed;
        }
        // Files signed by Netscape's signtool name the manifest's digest without "-Manifest".
        const bool signtool =
            signature.value(main, "Created-By").value_or(QByteArray()).contains("signtool");
        const auto whole = digests(signature, signer.signatureFileName, main,
                                   signtool ? "-Digest" : "-Digest-Manifest");
        if (!whole)
            return FileOutcome::Failed;
        const bool manifestVouched = manifestDigests.match(manifest.bytes(), *whole);
        if (!signtool) {
            const auto mainDigests = digests(signature, signer.signatureFileName, main,
                                             "-Digest-Manifest-Main-Attributes");
            if (!mainDigests)
                return FileOutcome::Failed;
            if (!mainDigests->isEmpty() &&
                !manifestDigests.match(manifest.raw(manifest.main()), *mainDigests)) {
                fail(QStringLiteral("%1 与清单的主属性不符").arg(fileName));
                return FileOutcome::Failed;
            }
        }

        bool ignored = false;
        std::optional<QString> mismatch;
        for (const JarManifest::Section &section : signature.sections()) {
            const std::optional<QByteArray> name = signature.name(section);
            if (!name || signer.named.contains(*name))
                return FileOutcome::Ignored;
            signer.named.insert(*name);
            if (manifestVouched)
                continue;
            const auto found = sectionByName.constFind(*name);
            if (found == sectionByName.cend()) {
                ignored = true;
                continue;
            }
            const auto expected = digests(signature, signer.signatureFileName, section, "-Digest");
            if (!expected)
                return FileOutcome::Failed;
            QByteArrayView covered = manifest.raw(manifest.sections()[*found]);
            if (signtool && covered.endsWith("\n\n"))
                covered.chop(1);
            if (!manifestDigests.match(covered, *expected) && !mismatch)
                mismatch = QStringLiteral("%1 与清单不符").arg(fileName);
        }
        if (ignored)
            return FileOutcome::Ignored;
        if (mismatch) {
            fail(*mismatch);
            return FileOutcome::Failed;
        }
        return FileOutcome::Used;
    }

    // Streams the entry once through every digest the manifest gives for it. A changed byte
    // also breaks the ZIP checksum, so the digests are compared first: they name the fault.
    std::optional<bool> entryMatches(const QByteArray &name, const QList<JarDigest> &expected)
    {
        std::vector<std::unique_ptr<Digest>> running;
        for (const JarDigest &digest : expected)
            running.push_back(std::make_unique<Digest>(digest.algorithm));
        const bool read = archive.streamEntry(name, [&running](const char *data, qint64 size) {
            for (const auto &digest : running)
                digest->update(data, std::size_t(size));
        });
        for (qsizetype i = 0; i < expected.size(); ++i)
            if (running[std::size_t(i)]->finish() != expected[i].expected)
                return false;
        if (!read)
            return std::nullopt;
        return true;
    }

    std::nullopt_t fail(const QString &reason)
    {
        failure = SchemeResult::failed(reason);
        return std::nullopt;
    }

private:
    const ZipArchive &archive;
    int minSdk;
    int maxSdk;
};

} // namespace

JarVerification VerifyJarSignatures(const ZipArchive &archive, bool v2Present, bool v3Present,
                                    int minSdk, int maxSdk)
{
    JarVerification verification;
    const QList<QByteArray> names = archive.entryNames();
    QList<JarSigner> signers = FindSigners(names);
    if (signers.isEmpty())
        return verification;
    JarCheck check(archive, minSdk, maxSdk);
    const auto fail = [&](const std::optional<QString> &reason = std::nullopt) {
        if (archive.inflateLimitReached())
            verification.result = SchemeResult::failed(QStringLiteral("解压后的数据超过上限"));
        else
            verification.result = reason ? SchemeResult::failed(*reason) : check.failure;
        return verification;
    };
    if (!names.contains(ManifestName))
        return fail(QStringLiteral("缺少 META-INF/MANIFEST.MF"));
    if (signers.size() > MaxSigners)
        return fail(QStringLiteral("签名者过多"));

    // Every signature block first: the manifest, the one large file, is read only for signers
    // whose signatures hold.
    for (JarSigner &signer : signers) {
        const auto signatureFile = check.read(signer.signatureFileName, MaxJarFileSize);
        const auto block =
            signatureFile ? check.read(signer.blockName, MaxSignatureBlockSize) : std::nullopt;
        if (!block)
            return fail();
        const JarBlockVerification verified = VerifyJarSignatureBlock(
            *signatureFile, *block, EntryText(signer.blockName), minSdk, maxSdk);
        if (verified.failure.state == SchemeState::Failed) {
            verification.result = verified.failure;
            return verification;
        }
        SignerFacts facts;
        facts.certificate = ReadCertificateFacts(verified.certificate);
        verification.signers.append(facts);
        verification.certificates.append(verified.certificate);
        signer.signatureFile = *signatureFile;
        signer.certificate = verified.certificate;
    }

    const auto manifestBytes = check.read(ManifestName, MaxJarFileSize);
    if (!manifestBytes)
        return fail();
    const JarManifest manifest(*manifestBytes);
    if (manifest.overLimit())
        return fail(QStringLiteral("META-INF/MANIFEST.MF 的节数或属性数超过上限"));
    const QSet<QByteArray> present(names.begin(), names.end());
    QHash<QByteArray, qsizetype> sectionByName;
    for (qsizetype i = 0; i < manifest.sections().size(); ++i) {
        const std::optional<QByteArray> name = manifest.name(manifest.sections()[i]);
        if (!name)
            return fail(QStringLiteral("META-INF/MANIFEST.MF 有未命名的节"));
        if (sectionByName.contains(*name))
            return fail(QStringLiteral("清单中 %1 出现了两次").arg(EntryText(*name)));
        if (!present.contains(*name))
            return fail(QStringLiteral("清单中的 %1 不在 ZIP 中").arg(EntryText(*name)));
        sectionByName.insert(*name, i);
    }

    ManifestDigests manifestDigests(manifest);
    QList<const JarSigner *> remaining;
    for (JarSigner &signer : signers) {
        switch (check.checkSignatureFile(signer, manifest, sectionByName, manifestDigests,
                                         v2Present, v3Present)) {
        case FileOutcome::Failed:
            return fail();
        case FileOutcome::Used:
            remaining.append(&signer);
            break;
        case FileOutcome::Ignored:
            break;
        }
    }
    if (remaining.isEmpty())
        return fail(QStringLiteral("没有有效的签名文件"));

    // Every entry outside META-INF/ must be signed, by the same signers as the others.
    std::optional<QList<const JarSigner *>> entrySigners;
    for (const QByteArray &name : names) {
        if (name.startsWith(MetaInf) || name.endsWith('/'))
            continue;
        const auto section = sectionByName.constFind(name);
        if (section == sectionByName.cend())
            return fail(QStringLiteral("文件 %1 不在清单中").arg(EntryText(name)));
        QList<const JarSigner *> signing;
        for (const JarSigner *signer : std::as_const(remaining))
            if (signer->named.contains(name))
                signing.append(signer);
        if (signing.isEmpty())
            return fail(QStringLiteral("文件 %1 未签名").arg(EntryText(name)));
        if (!entrySigners)
            entrySigners = signing;
        else if (*entrySigners != signing)
            return fail(QStringLiteral("文件 %1 的签名者与其他文件不同").arg(EntryText(name)));
        const auto digests =
            check.digests(manifest, ManifestName, manifest.sections()[*section], "-Digest");
        if (!digests)
            return fail();
        if (digests->isEmpty())
            return fail(QStringLiteral("文件 %1 在清单中没有可校验的摘要").arg(EntryText(name)));
        const auto matches = check.entryMatches(name, *digests);
        if (!matches)
            return fail(QStringLiteral("文件 %1 无法读取").arg(EntryText(name)));
        if (!*matches)
            return fail(QStringLiteral("文件 %1 摘要不符").arg(EntryText(name)));
    }
    if (!entrySigners)
        return fail(QStringLiteral("没有已签名的文件"));

    verification.signers.clear();
    verification.certificates.clear();
    for (const JarSigner *signer : std::as_const(*entrySigners)) {
        SignerFacts facts;
        facts.certificate = ReadCertificateFacts(signer->certificate);
        verification.signers.append(facts);
        verification.certificates.append(signer->certificate);
    }
    verification.result = SchemeResult::verified();
    return verification;
}
