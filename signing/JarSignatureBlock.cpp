#include "JarSignatureBlock.h"

#include "ApiLevels.h"
#include "BerReader.h"
#include "OpenSslHandles.h"
#include "Pkcs7SignedData.h"
#include "SignatureAlgorithm.h"

#include <QList>
#include <climits>
#include <openssl/x509v3.h>
#include <optional>
#include <tuple>
#include <vector>

namespace {

struct Levels
{
    int from;
    int to;
};

constexpr int Any = INT_MAX;

struct DigestOid
{
    const char *oid;
    DigestAlgorithm algorithm;
};

constexpr DigestOid DigestOids[] = {
    {"1.2.840.113549.2.5", DigestAlgorithm::Md5},
    {"1.3.14.3.2.26", DigestAlgorithm::Sha1},
    {"2.16.840.1.101.3.4.2.4", DigestAlgorithm::Sha224},
    {"2.16.840.1.101.3.4.2.1", DigestAlgorithm::Sha256},
    {"2.16.840.1.101.3.4.2.2", DigestAlgorithm::Sha384},
    {"2.16.840.1.101.3.4.2.3", DigestAlgorithm::Sha512},
};

// A key's own OID as a SignerInfo's signature algorithm: the digest algorithm then says which
// hash is signed. Each pair with the versions that verify it.
struct KeyOid
{
    const char *oid;
    DigestAlgorithm digest;
    int keyType;
    QList<Levels> levels;
};

const char *const RsaOid = "1.2.840.113549.1.1.1";
const char *const DsaOid = "1.2.840.10040.4.1";
const char *const EcOid = "1.2.840.10045.2.1";

const KeyOid KeyOids[] = {
    {RsaOid, DigestAlgorithm::Md5, EVP_PKEY_RSA, {{0, Any}}},
    {RsaOid, DigestAlgorithm::Sha1, EVP_PKEY_RSA, {{0, Any}}},
    {RsaOid, DigestAlgorithm::Sha224, EVP_PKEY_RSA, {{0, 8}, {21, Any}}},
    {RsaOid, DigestAlgorithm::Sha256, EVP_PKEY_RSA, {{0, 8}, {18, Any}}},
    {RsaOid, DigestAlgorithm::Sha384, EVP_PKEY_RSA, {{18, Any}}},
    {RsaOid, DigestAlgorithm::Sha512, EVP_PKEY_RSA, {{18, Any}}},
    {DsaOid, DigestAlgorithm::Sha1, EVP_PKEY_DSA, {{0, Any}}},
    {DsaOid, DigestAlgorithm::Sha224, EVP_PKEY_DSA, {{22, Any}}},
    {DsaOid, DigestAlgorithm::Sha256, EVP_PKEY_DSA, {{22, Any}}},
    {EcOid, DigestAlgorithm::Sha1, EVP_PKEY_EC, {{18, Any}}},
    {EcOid, DigestAlgorithm::Sha224, EVP_PKEY_EC, {{21, Any}}},
    {EcOid, DigestAlgorithm::Sha256, EVP_PKEY_EC, {{18, Any}}},
    {EcOid, DigestAlgorithm::Sha384, EVP_PKEY_EC, {{18, Any}}},
    {EcOid, DigestAlgorithm::Sha512, EVP_PKEY_EC, {{18, Any}}},
};

// A "<hash>with<key>" signature algorithm, which signs its own hash whatever the digest
// algorithm says. Android verifies it with its own digest algorithm from `levels`; 5.0 to 6.0
// took any other digest algorithm with it too, some only on 5.0.
struct CombinedOid
{
    const char *oid;
    DigestAlgorithm digest;
    int keyType;
    QList<Levels> levels;
};

const CombinedOid CombinedOids[] = {
    {"1.2.840.113549.1.1.4", DigestAlgorithm::Md5, EVP_PKEY_RSA, {{0, 8}, {21, Any}}},
    {"1.2.840.113549.1.1.5", DigestAlgorithm::Sha1, EVP_PKEY_RSA, {{0, Any}}},
    {"1.2.840.113549.1.1.14", DigestAlgorithm::Sha224, EVP_PKEY_RSA, {{0, 8}, {21, Any}}},
    {"1.2.840.113549.1.1.11", DigestAlgorithm::Sha256, EVP_PKEY_RSA, {{0, 8}, {18, Any}}},
    {"1.2.840.113549.1.1.12", DigestAlgorithm::Sha384, EVP_PKEY_RSA, {{21, Any}}},
    {"1.2.840.113549.1.1.13", DigestAlgorithm::Sha512, EVP_PKEY_RSA, {{21, Any}}},
    {"1.2.840.10040.4.3", DigestAlgorithm::Sha1, EVP_PKEY_DSA, {{9, Any}}},
    {"2.16.840.1.101.3.4.3.1", DigestAlgorithm::Sha224, EVP_PKEY_DSA, {{21, Any}}},
    {"2.16.840.1.101.3.4.3.2", DigestAlgorithm::Sha256, EVP_PKEY_DSA, {{21, Any}}},
    {"1.2.840.10045.4.1", DigestAlgorithm::Sha1, EVP_PKEY_EC, {{18, Any}}},
    {"1.2.840.10045.4.3.1", DigestAlgorithm::Sha224, EVP_PKEY_EC, {{21, Any}}},
    {"1.2.840.10045.4.3.2", DigestAlgorithm::Sha256, EVP_PKEY_EC, {{21, Any}}},
    {"1.2.840.10045.4.3.3", DigestAlgorithm::Sha384, EVP_PKEY_EC, {{21, Any}}},
    {"1.2.840.10045.4.3.4", DigestAlgorithm::Sha512, EVP_PKEY_EC, {{21, Any}}},
};

// The pairs of another digest algorithm with a combined one that only 5.0 verifies.
const std::pair<DigestAlgorithm, const char *> OnlyOnLollipop[] = {
    {DigestAlgorithm::Sha224, "1.2.840.113549.1.1.11"},
    {DigestAlgorithm::Sha256, "1.2.840.113549.1.1.5"},
    {DigestAlgorithm::Sha512, "1.2.840.113549.1.1.12"},
};

constexpr Levels LollipopToMarshmallow = {21, 23};
constexpr Levels LollipopOnly = {21, 21};

// The critical extensions Android's X.509 code supports in a signing certificate, each with the
// versions that do: from 7.0 on Conscrypt's, which asks BoringSSL; before it older code too,
// Harmony's among it, which knew no policyMappings. None knows proxyCertInfo, sbgp-ipAddrBlock
// or the key identifiers, although Java's certificates (and so apksigner on a JDK) take the
// identifiers.
struct CriticalExtension
{
    const char *oid;
    QList<Levels> levels;
};

const CriticalExtension CriticalExtensions[] = {
    {"2.5.29.15", {{0, Any}}},  // keyUsage
    {"2.5.29.17", {{0, Any}}},  // subjectAltName
    {"2.5.29.19", {{0, Any}}},  // basicConstraints
    {"2.5.29.30", {{0, Any}}},  // nameConstraints
    {"2.5.29.32", {{0, Any}}},  // certificatePolicies
    {"2.5.29.33", {{24, Any}}}, // policyMappings
    {"2.5.29.36", {{0, Any}}},  // policyConstraints
    {"2.5.29.37", {{0, Any}}},  // extKeyUsage
    {"2.5.29.54", {{0, Any}}},  // inhibitAnyPolicy
};

const QByteArray IdData("1.2.840.113549.1.7.1");
const QByteArray ContentTypeAttribute("1.2.840.113549.1.9.3");
const QByteArray MessageDigestAttribute("1.2.840.113549.1.9.4");

std::optional<DigestAlgorithm> DigestNamed(const QByteArray &oid)
{
    for (const DigestOid &known : DigestOids)
        if (oid == known.oid)
            return known.algorithm;
    return std::nullopt;
}

// How a SignerInfo's pair of algorithms is verified, and by which versions.
struct Algorithm
{
    DigestAlgorithm signedHash;
    int keyType = EVP_PKEY_NONE;
    QList<Levels> levels; // empty: no version knows the pair
};

Algorithm AlgorithmOf(const QByteArray &digestOid, const QByteArray &signatureOid)
{
    Algorithm algorithm{DigestAlgorithm::Sha1, EVP_PKEY_NONE, {}};
    const std::optional<DigestAlgorithm> digest = DigestNamed(digestOid);
    if (!digest)
        return algorithm;
    for (const KeyOid &key : KeyOids)
        if (signatureOid == key.oid && key.digest == *digest)
            return {*digest, key.keyType, key.levels};
    for (const CombinedOid &combined : CombinedOids) {
        if (signatureOid != combined.oid)
            continue;
        algorithm = {combined.digest, combined.keyType, {LollipopToMarshmallow}};
        if (combined.digest == *digest)
            algorithm.levels = combined.levels;
        for (const auto &[other, oid] : OnlyOnLollipop)
            if (other == *digest && signatureOid == oid)
                algorithm.levels = {LollipopOnly};
        return algorithm;
    }
    return algorithm;
}

// Whether every level of [minSdk, maxSdk] lies in one of `levels`.
bool Covers(const QList<Levels> &levels, int minSdk, int maxSdk)
{
    for (int level = minSdk; level <= maxSdk;) {
        const auto found = std::find_if(levels.cbegin(), levels.cend(), [level](Levels range) {
            return range.from <= level && level <= range.to;
        });
        if (found == levels.cend())
            return false;
        if (found->to >= maxSdk)
            return true;
        level = found->to + 1;
    }
    return true;
}

QString LevelsText(int minSdk, int maxSdk)
{
    return minSdk == maxSdk ? QString::number(minSdk)
                            : QStringLiteral("%1–%2").arg(minSdk).arg(maxSdk);
}

// The first level of [minSdk, maxSdk] outside `levels`, with the rest of that gap.
std::pair<int, int> FirstGap(const QList<Levels> &levels, int minSdk, int maxSdk)
{
    int from = minSdk;
    while (from <= maxSdk && Covers(levels, from, from))
        ++from;
    int to = from;
    while (to < maxSdk && !Covers(levels, to + 1, to + 1))
        ++to;
    return {from, to};
}

// The versions of Android that support a critical extension `oid` (dotted) in a signing
// certificate; empty for one no version supports.
QList<Levels> CriticalExtensionLevels(const QByteArray &oid)
{
    for (const CriticalExtension &known : CriticalExtensions)
        if (oid == known.oid)
            return known.levels;
    return {};
}

// The first critical extension of `certificate` that some level of [minSdk, maxSdk] does not
// support, dotted, with the levels of the first gap; nothing when they all support them all.
std::optional<std::tuple<QByteArray, int, int>> UnsupportedCriticalExtension(X509 *certificate,
                                                                             int minSdk, int maxSdk)
{
    for (int i = 0; i < X509_get_ext_count(certificate); ++i) {
        X509_EXTENSION *extension = X509_get_ext(certificate, i);
        if (!X509_EXTENSION_get_critical(extension))
            continue;
        char oid[128] = {};
        OBJ_obj2txt(oid, sizeof oid, X509_EXTENSION_get_object(extension), 1);
        const QList<Levels> levels = CriticalExtensionLevels(oid);
        if (!Covers(levels, minSdk, maxSdk)) {
            const auto [from, to] = FirstGap(levels, minSdk, maxSdk);
            return std::tuple(QByteArray(oid), from, to);
        }
    }
    return std::nullopt;
}

struct Certificate
{
    QByteArrayView encoding;
    X509Handle parsed;
};

// The certificate a SignerInfo names by issuer and serial; Android knows no other way.
const Certificate *FindCertificate(const std::vector<Certificate> &certificates,
                                   const Pkcs7SignerInfo &signer)
{
    if (signer.issuer.isEmpty())
        return nullptr;
    const auto *issuerBytes = reinterpret_cast<const unsigned char *>(signer.issuer.data());
    const std::unique_ptr<X509_NAME, OpenSslFree> issuer(
        d2i_X509_NAME(nullptr, &issuerBytes, long(signer.issuer.size())));
    const auto *serialBytes = reinterpret_cast<const unsigned char *>(signer.serial.data());
    const std::unique_ptr<ASN1_INTEGER, OpenSslFree> serial(
        d2i_ASN1_INTEGER(nullptr, &serialBytes, long(signer.serial.size())));
    if (!issuer || !serial)
        return nullptr;
    for (const Certificate &certificate : certificates)
        if (X509_NAME_cmp(X509_get_issuer_name(certificate.parsed.get()), issuer.get()) == 0 &&
            ASN1_INTEGER_cmp(X509_get0_serialNumber(certificate.parsed.get()), serial.get()) == 0)
            return &certificate;
    return nullptr;
}

// The one value of attribute `type`, nothing when it has none; `several` when it has more.
std::optional<QByteArrayView> SingleValue(const QMap<QByteArray, QList<QByteArrayView>> &attributes,
                                          const QByteArray &type, bool &several)
{
    const QList<QByteArrayView> values = attributes.value(type);
    several = values.size() > 1;
    if (values.size() != 1)
        return std::nullopt;
    return values.first();
}

enum class Outcome
{
    Verified,
    NotVerified, // this SignerInfo does not verify; another may
    Refused      // Android throws: the whole block fails
};

class BlockCheck
{
public:
    BlockCheck(QByteArrayView signatureFile, const QString &blockName, int minSdk, int maxSdk)
        : signatureFile(signatureFile), blockName(blockName), minSdk(minSdk), maxSdk(maxSdk)
    {
    }

    Outcome check(const Pkcs7SignedData &data, const std::vector<Certificate> &certificates,
                  const Pkcs7SignerInfo &signer, const Certificate *&signing)
    {
        const Algorithm algorithm = AlgorithmOf(signer.digestAlgorithm, signer.signatureAlgorithm);
        if (!Covers(algorithm.levels, minSdk, maxSdk)) {
            const auto [from, to] = FirstGap(algorithm.levels, minSdk, maxSdk);
            return refuse(
                {FailureCode::JarAlgorithmUnsupported, {blockName, LevelsText(from, to)}});
        }
        signing = FindCertificate(certificates, signer);
        if (!signing)
            return refuse({FailureCode::JarBlockNoCertificate, {blockName}});
        X509 *certificate = signing->parsed.get();
        if (const auto unsupported = UnsupportedCriticalExtension(certificate, minSdk, maxSdk)) {
            const auto &[oid, from, to] = *unsupported;
            return refuse({FailureCode::JarCriticalExtension,
                           {blockName, LevelsText(from, to), QString::fromLatin1(oid)}});
        }
        const quint32 flags = X509_get_extension_flags(certificate);
        const quint32 usage = X509_get_key_usage(certificate);
        if ((flags & EXFLAG_INVALID) ||
            (usage != UINT32_MAX && !(usage & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION))))
            return refuse({FailureCode::JarCertificateNotForSigning, {blockName}});
        EVP_PKEY *key = X509_get0_pubkey(certificate);
        if (!key || EVP_PKEY_get_base_id(key) != algorithm.keyType)
            return refuse({FailureCode::JarKeyAlgorithmMismatch, {blockName}});
        if (const Failure refusal = KeyRefusal(key); refusal.failed())
            return refuse({FailureCode::JarKeyRefused,
                           {blockName},
                           std::make_shared<const Failure>(refusal)});

        QByteArray signedBytes;
        if (signer.signedAttributes.isEmpty()) {
            signedBytes = signatureFile.toByteArray();
        } else {
            const Outcome attributes = checkAttributes(data, signer);
            if (attributes != Outcome::Verified)
                return attributes;
            // What was signed is the attributes as they stand, tagged as a SET rather than [0].
            signedBytes = signer.signedAttributes.toByteArray();
            signedBytes[0] = char(Ber::Set);
        }
        SignatureAlgorithm verifier{};
        verifier.digest = algorithm.signedHash;
        verifier.keyType = algorithm.keyType;
        return VerifySignature(key, verifier, signedBytes, signer.signature) ? Outcome::Verified
                                                                             : Outcome::NotVerified;
    }

    SchemeResult failure;

private:
    Outcome refuse(const Failure &reason)
    {
        failure = SchemeResult::failed(reason);
        return Outcome::Refused;
    }

    Outcome checkAttributes(const Pkcs7SignedData &data, const Pkcs7SignerInfo &signer)
    {
        if (minSdk < ApiLevel::KitKat)
            return refuse({FailureCode::JarSignedAttributesTooOld, {blockName}});
        const auto attributes = ParsePkcs7Attributes(signer.signedAttributes);
        const Failure malformed{FailureCode::JarSignedAttributesMalformed, {blockName}};
        if (!attributes)
            return refuse(malformed);
        bool several = false;
        if (maxSdk >= ApiLevel::Nougat) {
            const auto contentType = SingleValue(*attributes, ContentTypeAttribute, several);
            const auto oid = contentType ? BerReader(*contentType).next(Ber::Oid) : std::nullopt;
            if (several || (contentType && !oid))
                return refuse(malformed);
            if (!contentType)
                return refuse({FailureCode::JarSignedAttributesNoContentType, {blockName}});
            if (OidText(oid->contents) != data.contentType)
                return Outcome::NotVerified;
        }
        const auto messageDigest = SingleValue(*attributes, MessageDigestAttribute, several);
        const auto octets =
            messageDigest ? BerReader(*messageDigest).next(Ber::OctetString) : std::nullopt;
        if (several || (messageDigest && !octets))
            return refuse(malformed);
        if (!messageDigest)
            return refuse({FailureCode::JarSignedAttributesNoDigest, {blockName}});
        const std::optional<DigestAlgorithm> digest = DigestNamed(signer.digestAlgorithm);
        if (!digest)
            return refuse(malformed);
        return DigestOf(*digest, signatureFile) == octets->contents ? Outcome::Verified
                                                                    : Outcome::NotVerified;
    }

    QByteArrayView signatureFile;
    const QString &blockName;
    int minSdk;
    int maxSdk;
};

} // namespace

JarBlockVerification VerifyJarSignatureBlock(QByteArrayView signatureFile, QByteArrayView block,
                                             const QString &blockName, int minSdk, int maxSdk)
{
    JarBlockVerification verification;
    const auto fail = [&](const SchemeResult &failure) {
        verification.failure = failure;
        return verification;
    };
    bool overLimit = false;
    const std::optional<Pkcs7SignedData> data = ParsePkcs7SignedData(block, overLimit);
    if (!data)
        return fail(SchemeResult::failed(
            {overLimit ? FailureCode::JarBlockOverLimit : FailureCode::JarBlockMalformed,
             {blockName}}));
    if (data->signerInfos.isEmpty())
        return fail(SchemeResult::failed({FailureCode::JarBlockNoSigner, {blockName}}));
    std::vector<Certificate> certificates;
    for (QByteArrayView encoding : data->certificates) {
        X509Handle parsed = ParseCertificate(encoding);
        if (!parsed)
            return fail(SchemeResult::failed({FailureCode::CertificateUnparsable}));
        certificates.push_back({encoding, std::move(parsed)});
    }
    // Before 7.0 Android tries the first SignerInfo only, from then on each until one verifies;
    // every one tried must at least not make Android throw.
    const qsizetype tried = minSdk < ApiLevel::Nougat ? 1 : data->signerInfos.size();
    BlockCheck check(signatureFile, blockName, minSdk, maxSdk);
    const Certificate *chosen = nullptr;
    for (qsizetype i = 0; i < tried; ++i) {
        const Certificate *signing = nullptr;
        const Outcome outcome = check.check(*data, certificates, data->signerInfos[i], signing);
        if (outcome == Outcome::Refused)
            return fail(check.failure);
        if (outcome == Outcome::Verified && !chosen)
            chosen = signing;
    }
    if (!chosen)
        return fail(SchemeResult::failed({FailureCode::JarSignatureFileFailed, {blockName}}));
    verification.certificate = chosen->encoding.toByteArray();
    return verification;
}
