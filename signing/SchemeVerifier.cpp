#include "SchemeVerifier.h"

#include "ApiLevels.h"
#include "CertificateFacts.h"
#include "CertificateKey.h"
#include "OpenSslHandles.h"
#include "SignatureAlgorithm.h"

#include <QMap>
#include <QSet>
#include <optional>

namespace {

// The signatures that the platforms from `lowest` through `highest` verify: for each platform
// that brought new algorithms, the strongest one it knows among those offered. Empty when the
// lowest platform knows none of them.
QList<const AlgorithmValue *> SignaturesToVerify(const QList<AlgorithmValue> &signatures,
                                                 int lowest, int highest)
{
    QMap<int, const AlgorithmValue *> strongestSince;
    int lowestKnown = ApiLevel::Newest;
    for (const AlgorithmValue &signature : signatures) {
        const SignatureAlgorithm *algorithm = FindSignatureAlgorithm(signature.algorithm);
        if (!algorithm || algorithm->minSdk > highest)
            continue;
        lowestKnown = qMin(lowestKnown, algorithm->minSdk);
        const AlgorithmValue *&best = strongestSince[algorithm->minSdk];
        if (!best || Stronger(*algorithm, *FindSignatureAlgorithm(best->algorithm)))
            best = &signature;
    }
    return lowest < lowestKnown ? QList<const AlgorithmValue *>() : strongestSince.values();
}

// Why the lineage does not hold, or nothing: each certificate of it once, each signing the
// next, the newest the signer's own.
std::optional<Failure> LineageProblem(const SchemeSigner &signer)
{
    if (signer.lineageTooLong)
        return Failure{FailureCode::LineageTooLong};
    const QList<LineageNode> &lineage = signer.lineage;
    if (lineage.isEmpty())
        return std::nullopt;
    QSet<QByteArray> seen;
    for (const LineageNode &node : lineage) {
        if (seen.contains(node.certificate))
            return Failure{FailureCode::LineageDuplicateCertificate};
        seen.insert(node.certificate);
    }
    const Failure broken{FailureCode::LineageBroken};
    for (qsizetype i = 1; i < lineage.size(); ++i) {
        const LineageNode &parent = lineage[i - 1];
        const LineageNode &child = lineage[i];
        const SignatureAlgorithm *algorithm = FindSignatureAlgorithm(child.parentAlgorithm);
        const X509Handle certificate = ParseCertificate(parent.certificate);
        EVP_PKEY *key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
        if (!algorithm || parent.childAlgorithm != child.parentAlgorithm || !key)
            return broken;
        if (const Failure refusal = KeyRefusal(key); refusal.failed())
            return refusal;
        if (!VerifySignature(key, *algorithm, child.signedData, child.signature))
            return broken;
    }
    if (lineage.last().certificate != signer.certificates.first())
        return broken;
    return std::nullopt;
}

QList<quint32> AlgorithmsOf(const QList<AlgorithmValue> &values)
{
    QList<quint32> ids;
    for (const AlgorithmValue &value : values)
        ids.append(value.algorithm);
    return ids;
}

// Nothing when the signer checks out, else why not. Adds the content digest kinds of the
// signatures it verified to `verifiedKinds`.
std::optional<SchemeResult> CheckSigner(const SchemeSigner &signer, bool v3, int minSdk,
                                        QList<ContentDigestKind> &verifiedKinds)
{
    if (signer.certificates.isEmpty())
        return SchemeResult::failed({FailureCode::SignerNoCertificate});
    const X509Handle certificate = ParseCertificate(signer.certificates.first());
    if (!certificate)
        return SchemeResult::failed({FailureCode::CertificateUnparsable});
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(signer.publicKey.constData());
    const KeyHandle key(d2i_PUBKEY(nullptr, &keyBytes, long(signer.publicKey.size())));
    if (!key)
        return SchemeResult::failed({FailureCode::PublicKeyUnparsable});
    if (const Failure refusal = KeyRefusal(key.get()); refusal.failed())
        return SchemeResult::failed(refusal);
    if (CertificatePublicKey(signer.certificates.first()) != signer.publicKey)
        return SchemeResult::failed({FailureCode::PublicKeyMismatch});
    if (v3 && (signer.minSdk < 0 || signer.minSdk > signer.maxSdk))
        return SchemeResult::failed({FailureCode::SignerRangeInvalid});
    // A signer for a development release names the release before it as its minimum.
    const int lowest =
        v3 ? signer.minSdk + (signer.targetsDevRelease ? 1 : 0) : qMax(minSdk, ApiLevel::Nougat);
    const int highest = v3 ? signer.maxSdk : ApiLevel::Newest;
    const QList<const AlgorithmValue *> signatures =
        SignaturesToVerify(signer.signatures, lowest, highest);
    if (signatures.isEmpty())
        return SchemeResult::failed({FailureCode::NoVerifiableAlgorithm});
    for (const AlgorithmValue *signature : signatures)
        if (!VerifySignature(key.get(), *FindSignatureAlgorithm(signature->algorithm),
                             signer.signedData, signature->bytes))
            return SchemeResult::failed({FailureCode::SignatureMismatch});
    if (AlgorithmsOf(signer.digests) != AlgorithmsOf(signer.signatures))
        return SchemeResult::failed({FailureCode::DigestAlgorithmsMismatch});
    if (v3 && (signer.minSdk != signer.signedMinSdk || signer.maxSdk != signer.signedMaxSdk))
        return SchemeResult::failed({FailureCode::SdkRangeMismatch});
    if (v3)
        if (const auto problem = LineageProblem(signer))
            return SchemeResult::failed(*problem);
    for (const AlgorithmValue *signature : signatures)
        if (const ContentDigestKind kind = FindSignatureAlgorithm(signature->algorithm)->content;
            !verifiedKinds.contains(kind))
            verifiedKinds.append(kind);
    return std::nullopt;
}

} // namespace

SchemeVerification VerifySchemeSigners(const SchemeBlock &scheme, bool v3, int minSdk)
{
    SchemeVerification verification;
    if (!scheme.present)
        return verification;
    if (scheme.error.failed()) {
        verification.result = SchemeResult::failed(scheme.error);
        return verification;
    }
    if (scheme.signers.isEmpty()) {
        verification.result = SchemeResult::failed({FailureCode::NoSigners});
        return verification;
    }
    QList<ContentDigestKind> verifiedKinds;
    for (const SchemeSigner &signer : scheme.signers) {
        if (auto failure = CheckSigner(signer, v3, minSdk, verifiedKinds)) {
            verification.result = *failure;
            return verification;
        }
    }
    // Every digest listed for a verified kind must hold, a second listing of one included.
    for (const SchemeSigner &signer : scheme.signers)
        for (const AlgorithmValue &digest : signer.digests)
            if (const SignatureAlgorithm *algorithm = FindSignatureAlgorithm(digest.algorithm);
                algorithm && verifiedKinds.contains(algorithm->content))
                verification.contentDigests.append({algorithm->content, digest.bytes});
    verification.result = SchemeResult::verified();
    return verification;
}

QList<SignerFacts> SchemeSignerFacts(const SchemeBlock &scheme, bool v3)
{
    QList<SignerFacts> facts;
    for (const SchemeSigner &signer : scheme.signers) {
        SignerFacts signerFacts;
        if (!signer.certificates.isEmpty())
            signerFacts.certificate = ReadCertificateFacts(signer.certificates.first());
        for (qsizetype i = 0; i + 1 < signer.lineage.size(); ++i) {
            signerFacts.formerSha256.append(
                ColonHex(DigestOf(DigestAlgorithm::Sha256, signer.lineage[i].certificate)));
            signerFacts.formerCapabilities.append(signer.lineage[i].flags);
        }
        if (v3)
            signerFacts.platforms = {signer.minSdk, signer.maxSdk, signer.targetsDevRelease};
        facts.append(signerFacts);
    }
    return facts;
}
