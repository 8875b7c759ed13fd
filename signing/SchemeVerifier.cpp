#include "SchemeVerifier.h"

#include "CertificateFacts.h"
#include "OpenSslHandles.h"
#include "SignatureAlgorithm.h"

#include <optional>

namespace {

// The strongest signature whose algorithm is checked here: SHA-512 before SHA-256.
const AlgorithmValue *StrongestSignature(const QList<AlgorithmValue> &signatures)
{
    const AlgorithmValue *best = nullptr;
    for (const AlgorithmValue &signature : signatures) {
        const SignatureAlgorithm *algorithm = FindSignatureAlgorithm(signature.algorithm);
        if (algorithm &&
            (!best || (algorithm->digest == DigestAlgorithm::Sha512 &&
                       FindSignatureAlgorithm(best->algorithm)->digest != DigestAlgorithm::Sha512)))
            best = &signature;
    }
    return best;
}

// Each certificate of the lineage signs the next; the newest must be the signer's own.
bool LineageHolds(const QList<LineageNode> &lineage, const QByteArray &signerCertificate)
{
    if (lineage.isEmpty())
        return true;
    for (qsizetype i = 1; i < lineage.size(); ++i) {
        const LineageNode &parent = lineage[i - 1];
        const LineageNode &child = lineage[i];
        const SignatureAlgorithm *algorithm = FindSignatureAlgorithm(child.parentAlgorithm);
        const X509Handle certificate = ParseCertificate(parent.certificate);
        if (!algorithm || parent.childAlgorithm != child.parentAlgorithm || !certificate ||
            !VerifySignature(X509_get0_pubkey(certificate.get()), *algorithm, child.signedData,
                             child.signature))
            return false;
    }
    return lineage.last().certificate == signerCertificate;
}

QList<quint32> AlgorithmsOf(const QList<AlgorithmValue> &values)
{
    QList<quint32> ids;
    for (const AlgorithmValue &value : values)
        ids.append(value.algorithm);
    return ids;
}

// Nothing when the signer checks out, else why not.
std::optional<SchemeResult> CheckSigner(const SchemeSigner &signer, bool v3,
                                        QList<SignedContentDigest> &contentDigests)
{
    if (signer.certificates.isEmpty())
        return SchemeResult::failed(QStringLiteral("没有证书"));
    const X509Handle certificate = ParseCertificate(signer.certificates.first());
    if (!certificate)
        return SchemeResult::failed(QStringLiteral("证书无法解析"), true);
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(signer.publicKey.constData());
    const KeyHandle key(d2i_PUBKEY(nullptr, &keyBytes, long(signer.publicKey.size())));
    if (!key)
        return SchemeResult::failed(QStringLiteral("公钥无法解析"));
    if (EncodeDer(X509_get_X509_PUBKEY(certificate.get()), i2d_X509_PUBKEY) != signer.publicKey)
        return SchemeResult::failed(QStringLiteral("公钥与证书不符"));
    const AlgorithmValue *signature = StrongestSignature(signer.signatures);
    if (!signature)
        return SchemeResult::failed(QStringLiteral("没有可校验的签名算法"));
    const SignatureAlgorithm &algorithm = *FindSignatureAlgorithm(signature->algorithm);
    if (!VerifySignature(key.get(), algorithm, signer.signedData, signature->bytes))
        return SchemeResult::failed(QStringLiteral("签名不符"));
    if (AlgorithmsOf(signer.digests) != AlgorithmsOf(signer.signatures))
        return SchemeResult::failed(QStringLiteral("摘要与签名的算法不一致"));
    if (v3 && (signer.minSdk != signer.signedMinSdk || signer.maxSdk != signer.signedMaxSdk))
        return SchemeResult::failed(QStringLiteral("SDK 版本范围与签名内容不一致"));
    if (v3 && !LineageHolds(signer.lineage, signer.certificates.first()))
        return SchemeResult::failed(QStringLiteral("密钥轮换记录校验失败"));
    for (const AlgorithmValue &digest : signer.digests)
        if (digest.algorithm == signature->algorithm) {
            contentDigests.append({algorithm.digest, digest.bytes});
            break;
        }
    return std::nullopt;
}

} // namespace

SchemeVerification VerifySchemeSigners(const SchemeBlock &scheme, bool v3)
{
    SchemeVerification verification;
    if (!scheme.present)
        return verification;
    if (!scheme.error.isEmpty()) {
        verification.result = SchemeResult::failed(scheme.error);
        return verification;
    }
    if (scheme.signers.isEmpty()) {
        verification.result = SchemeResult::failed(QStringLiteral("没有签名者"));
        return verification;
    }
    for (const SchemeSigner &signer : scheme.signers) {
        if (auto failure = CheckSigner(signer, v3, verification.contentDigests)) {
            verification.result = *failure;
            verification.contentDigests.clear();
            return verification;
        }
    }
    verification.result = SchemeResult::verified();
    return verification;
}

QList<SignerFacts> SchemeSignerFacts(const SchemeBlock &scheme)
{
    QList<SignerFacts> facts;
    for (const SchemeSigner &signer : scheme.signers) {
        SignerFacts signerFacts;
        if (!signer.certificates.isEmpty())
            signerFacts.certificate = ReadCertificateFacts(signer.certificates.first());
        for (qsizetype i = 0; i + 1 < signer.lineage.size(); ++i) {
            signerFacts.formerSha256.append(
                ColonHex(DigestOf(DigestAlgorithm::Sha256, signer.lineage[i].certificate)));
        }
        facts.append(signerFacts);
    }
    return facts;
}
