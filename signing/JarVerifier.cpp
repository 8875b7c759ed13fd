#include "JarVerifier.h"

#include "CertificateFacts.h"
#include "JarManifest.h"
#include "OpenSslHandles.h"
#include "SigningBlock.h"
#include "archive/ZipArchive.h"

#include <QHash>
#include <QSet>

namespace {

const QByteArray ManifestName("META-INF/MANIFEST.MF");
constexpr qint64 MaxManifestSize = 64 << 20;
constexpr qint64 MaxSignatureBlockSize = 4 << 20;

struct JarSigner
{
    QByteArray signatureFileName;
    QByteArray blockName;
};

bool InMetaInf(const QByteArray &name)
{
    return name.startsWith("META-INF/") && name.indexOf('/', 9) < 0;
}

bool EndsWithUpper(const QByteArray &name, QByteArrayView suffix)
{
    return name.size() > suffix.size() &&
           QByteArrayView(name).last(suffix.size()).compare(suffix, Qt::CaseInsensitive) == 0;
}

// The manifest and the signature files are not entries that the manifest itself could cover.
bool IsSignatureFile(const QByteArray &name)
{
    if (name == ManifestName)
        return true;
    if (!InMetaInf(name))
        return false;
    for (QByteArrayView suffix : {".SF", ".RSA", ".DSA", ".EC"})
        if (EndsWithUpper(name, suffix))
            return true;
    return false;
}

QList<JarSigner> FindSigners(const QList<QByteArray> &names)
{
    const QSet<QByteArray> all(names.begin(), names.end());
    QList<JarSigner> signers;
    for (const QByteArray &name : names) {
        if (!InMetaInf(name) || !EndsWithUpper(name, ".SF"))
            continue;
        const QByteArray base = name.chopped(3);
        for (const char *suffix : {".RSA", ".DSA", ".EC"}) {
            if (all.contains(base + suffix)) {
                signers.append({name, base + suffix});
                break;
            }
        }
    }
    return signers;
}

// The certificate that signed `signatureFile` in the PKCS #7 `block`, or null when the
// signature does not hold. Android trusts no chain here: self-signed is the rule.
X509Handle VerifySignatureBlock(const QByteArray &signatureFile, const QByteArray &block)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(block.constData());
    std::unique_ptr<PKCS7, OpenSslFree> pkcs7(d2i_PKCS7(nullptr, &bytes, long(block.size())));
    std::unique_ptr<BIO, OpenSslFree> content(
        BIO_new_mem_buf(signatureFile.constData(), int(signatureFile.size())));
    if (!pkcs7 || !content || !PKCS7_type_is_signed(pkcs7.get()) ||
        PKCS7_verify(pkcs7.get(), nullptr, nullptr, content.get(), nullptr,
                     PKCS7_NOVERIFY | PKCS7_BINARY) != 1)
        return {};
    STACK_OF(X509) *signers = PKCS7_get0_signers(pkcs7.get(), nullptr, 0);
    X509 *first = signers && sk_X509_num(signers) > 0 ? sk_X509_value(signers, 0) : nullptr;
    if (first)
        X509_up_ref(first);
    sk_X509_free(signers);
    return X509Handle(first);
}

// The digests of the manifest and of its sections, each computed once: a signature file may
// name one large section thousands of times, and every signer digests the whole manifest.
class ManifestDigests
{
public:
    ManifestDigests(const QByteArray &bytes, const JarManifest &manifest)
        : bytes(bytes), manifest(manifest)
    {
    }

    static constexpr qsizetype Whole = -1;

    // Whether every digest given matches section `section` (or the Whole manifest); at least
    // one must be given.
    bool match(qsizetype section, const QList<std::pair<DigestAlgorithm, QByteArray>> &digests)
    {
        if (digests.isEmpty())
            return false;
        for (const auto &[algorithm, expected] : digests) {
            const quint64 key = quint64(section + 1) << 8 | quint64(algorithm);
            auto found = known.constFind(key);
            if (found == known.cend())
                found = known.insert(
                    key,
                    DigestOf(algorithm, section == Whole ? bytes : manifest.entries[section].raw));
            if (*found != expected)
                return false;
        }
        return true;
    }

private:
    const QByteArray &bytes;
    const JarManifest &manifest;
    QHash<quint64, QByteArray> known;
};

// Which schemes the signer says it also signed with; Android then demands their blocks.
bool StrippedOfScheme(const JarSection &main, bool v2Present, bool v3Present)
{
    for (const QByteArray &id : main.value("X-Android-APK-Signed").split(',')) {
        const QByteArray scheme = id.trimmed();
        if ((scheme == "2" && !v2Present) || (scheme == "3" && !v3Present))
            return true;
    }
    return false;
}

// The manifest entries that signature file `signature` vouches for, or nothing when one of its
// section digests is wrong.
std::optional<QSet<QByteArray>>
CoveredEntries(const JarManifest &signature, const JarManifest &manifest, ManifestDigests &digests)
{
    QSet<QByteArray> covered;
    if (digests.match(ManifestDigests::Whole, signature.main.digests("-Digest-Manifest"))) {
        for (auto it = manifest.entryByName.cbegin(); it != manifest.entryByName.cend(); ++it)
            covered.insert(it.key());
        return covered;
    }
    for (const JarSection &section : signature.entries) {
        const QByteArray name = section.value("Name");
        const auto found = manifest.entryByName.constFind(name);
        if (found == manifest.entryByName.cend() ||
            !digests.match(*found, section.digests("-Digest")))
            return std::nullopt;
        covered.insert(name);
    }
    return covered;
}

QString EntryText(const QByteArray &name)
{
    return QString::fromUtf8(name);
}

// Streams the entry once through every digest the manifest gives for it. A changed byte also
// breaks the ZIP checksum, so the digests are compared first: they name the fault that matters.
std::optional<bool> EntryMatches(const ZipArchive &archive, const QByteArray &name,
                                 const QList<std::pair<DigestAlgorithm, QByteArray>> &expected)
{
    std::vector<std::unique_ptr<Digest>> digests;
    for (const auto &entry : expected)
        digests.push_back(std::make_unique<Digest>(entry.first));
    const bool read = archive.streamEntry(name, [&digests](const char *data, qint64 size) {
        for (const auto &digest : digests)
            digest->update(data, std::size_t(size));
    });
    for (qsizetype i = 0; i < expected.size(); ++i)
        if (digests[std::size_t(i)]->finish() != expected[i].second)
            return false;
    if (!read)
        return std::nullopt;
    return true;
}

} // namespace

JarVerification VerifyJarSignatures(const ZipArchive &archive, bool v2Present, bool v3Present,
                                    [[maybe_unused]] int minSdk, [[maybe_unused]] int maxSdk)
{
    JarVerification verification;
    const QList<QByteArray> names = archive.entryNames();
    const QList<JarSigner> signers = FindSigners(names);
    if (signers.isEmpty())
        return verification;
    const auto fail = [&](const QString &reason, bool standsAlone = false) {
        verification.result = archive.inflateLimitReached()
                                  ? SchemeResult::failed(QStringLiteral("解压后的数据超过上限"))
                                  : SchemeResult::failed(reason, standsAlone);
        return verification;
    };
    if (signers.size() > MaxSigners)
        return fail(QStringLiteral("签名者过多"));

    const auto manifestBytes = archive.readEntry(ManifestName, MaxManifestSize);
    if (!manifestBytes)
        return fail(QStringLiteral("缺少 META-INF/MANIFEST.MF"));
    const JarManifest manifest = ParseJarManifest(*manifestBytes);
    ManifestDigests manifestDigests(*manifestBytes, manifest);

    QList<QSet<QByteArray>> coverage;
    for (const JarSigner &signer : signers) {
        const auto signatureFile = archive.readEntry(signer.signatureFileName, MaxManifestSize);
        const auto block = archive.readEntry(signer.blockName, MaxSignatureBlockSize);
        const X509Handle certificate =
            signatureFile && block ? VerifySignatureBlock(*signatureFile, *block) : X509Handle();
        if (!certificate)
            return fail(QStringLiteral("签名文件 %1 校验失败").arg(EntryText(signer.blockName)));
        const QByteArray der = EncodeDer(certificate.get(), i2d_X509);
        SignerFacts facts;
        facts.certificate = ReadCertificateFacts(der);
        if (!facts.certificate.parsed)
            return fail(QStringLiteral("证书无法解析"), true);
        verification.signers.append(facts);
        verification.certificates.append(der);

        const JarManifest signature = ParseJarManifest(*signatureFile);
        if (StrippedOfScheme(signature.main, v2Present, v3Present))
            return fail(QStringLiteral("v2/v3 签名已被剥离"), true);
        const auto covered = CoveredEntries(signature, manifest, manifestDigests);
        if (!covered)
            return fail(QStringLiteral("%1 与清单不符").arg(EntryText(signer.signatureFileName)));
        coverage.append(*covered);
    }

    // The archive opens only when no name appears twice, so each entry here is the only one.
    for (const QByteArray &name : names) {
        if (name.endsWith('/') || IsSignatureFile(name))
            continue;
        const auto section = manifest.entryByName.constFind(name);
        const auto digests = section == manifest.entryByName.cend()
                                 ? QList<std::pair<DigestAlgorithm, QByteArray>>()
                                 : manifest.entries[*section].digests("-Digest");
        if (digests.isEmpty())
            return fail(QStringLiteral("文件 %1 不在清单中").arg(EntryText(name)));
        for (const QSet<QByteArray> &covered : coverage)
            if (!covered.contains(name))
                return fail(QStringLiteral("文件 %1 未签名").arg(EntryText(name)));
        const auto matches = EntryMatches(archive, name, digests);
        if (!matches)
            return fail(QStringLiteral("文件 %1 无法读取").arg(EntryText(name)));
        if (!*matches)
            return fail(QStringLiteral("文件 %1 摘要不符").arg(EntryText(name)));
    }
    verification.result = SchemeResult::verified();
    return verification;
}
