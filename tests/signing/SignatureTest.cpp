#include "HostilePackages.h"
#include "ManifestXml.h"
#include "TestSupport.h"
#include "apk/ReadChannel.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "details/DescribeSignatures.h"
#include "digest/FileDigests.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"
#include "signing/ApiLevels.h"
#include "signing/ContentDigest.h"
#include "signing/OpenSslHandles.h"
#include "signing/PackageLayout.h"
#include "signing/SigningBlock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <functional>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>

namespace {

enum class Change
{
    None,
    ArchiveComment, // a ZIP comment given to the package before it is signed
    FlipEntryByte,  // one byte of classes.dex, after signing
    Truncate,       // the second half cut off
    Realign,        // rewritten by zipalign, which drops the signing block
    DuplicateEntry, // classes.dey renamed classes.dex in the ZIP headers, after signing
    Zip64Marker,    // the end record says its directory offset is in a ZIP64 record
    // Hostile packages, made as an attacker would make them from signed ones:
    SecondArchive,   // another package's entries and directory behind the signed ones
    StripV3,         // the v3 pair renamed a padding pair
    StripV31,        // a v3 signer saying a v3.1 block takes over at API 33, and none there
    V3ByAnotherKey,  // the v3 signer replaced by one of another key, with no lineage
    V2ByAnotherKey,  // the v2 signer replaced by one of another key than the JAR signer's
    V3SignerTwice,   // the v3 signer repeated, so two cover the same platform versions
    AliasedEntry,    // a second directory record for classes.dex's local entry
    BombNamedOften,  // a 256 MiB entry of zeros, named 64 times in the directory
    Bomb,            // that entry, named once, and signed
    RepeatedSection, // a signature file naming one 1 MiB manifest section 200 times
    AliasedSigners,  // the JAR signature files named 4,000 times over
    ElevenSigners,   // ten more copies of the JAR signature files, each an entry of its own
    // A store's channel marker, outside what the signatures cover:
    WalleMarker,    // a signing block pair of JSON
    VasDollyMarker, // a signing block pair of the name alone
    CommentMarker,  // the ZIP comment of a v1-only package
    // The JAR signature as Android reads it, its JAR files written here (see JarFiles):
    SignedAttributes,           // a SignerInfo with well-formed signed attributes
    AttributesNoContentType,    // the same without a content type
    AttributesWrongContentType, // the same whose content type is not id-data
    AttributesTwoDigests,       // the same with two message digests
    TwoSignerInfos,      // a SignerInfo by another key with a wrong content type, then a good one
    Sha384Digests,       // MANIFEST.MF and the .SF naming SHA-384 digests only
    WrongMainAttributes, // a wrong -Digest-Manifest-Main-Attributes beside a right manifest digest
    WrongStrongerDigest, // a wrong SHA-384-Digest for classes.dex beside its right SHA-256-Digest
    SectionTwice,        // the manifest naming classes.dex in two sections
    BerCertificate,      // signed (v1, then v2) with a certificate whose length is not DER
    LocalMethodStored,   // the signature block's local header saying stored, its data deflated
    Method21,            // the signature block's method 21 in both headers, its data deflated
    LowerCaseSignatureFile, // the .SF renamed .sf in the ZIP headers
    ExtraMetaInfEntry,      // META-INF/extra.version added after signing
    ManifestBomb,           // MANIFEST.MF of 100,000 one-line sections under a valid signature
    // What the platforms in the package's range need, v3.1, and the caps:
    TargetSandbox2,    // android:targetSandboxVersion="2" in the manifest
    TargetSdk30,       // <uses-sdk android:targetSdkVersion="30"/>
    V31Alone,          // the v3 pair renamed a v3.1 pair
    V31WrongRotation,  // v3 says v3.1 takes over at 33; the v3.1 signer starts at 34
    V31DevRelease,     // a v3.1 signer for the development release after 33, beside v3 to 33
    DigestListedTwice, // the v2 signer lists its digest again, with other bytes
    LineageRepeats,    // a v3 lineage that names the signer's certificate twice
    V3Gap,             // v3 signers for 24–29 and for 31 and up
    V3Narrow,          // the one v3 signer for 30 and up
    VerityWrong,       // the v2 signer's verity digest wrong, its SHA-256 one right
    LineageTooLong,    // a lineage of MaxLineageNodes + 1 certificates
    TwoV3Signers,      // v3 signers: the old key for 24–32, the rotated one for 33 and up
    HugeExponent,      // signed with a key whose RSA public exponent has 3,000 bits
    // Keys as Android reads them:
    ExponentOne,    // the v2 and v3 signers replaced by unkeyed ones (see CraftUnkeyedSigner)
    JarExponentOne, // JAR files signed the same way
    KeyWithoutNull, // the v2 signer's key written without NULL parameters, as its certificate's
    // The manifest, as Android's parser and apksig read it, by resource id:
    MinSdkWrongId,      // minSdkVersion's name right, its resource id none of Android's
    MinSdkReference,    // <uses-sdk android:minSdkVersion="@integer/level"/>, the level 24
    TargetSdkReference, // <uses-sdk android:targetSdkVersion="@integer/level"/>, the level 30
    SandboxReference,   // android:targetSandboxVersion="@integer/level", the level 2
    ManifestPastCap,    // no <uses-sdk>; MaxManifestBytes of padding in the manifest
    ManifestNotXml,     // AndroidManifest.xml replaced by bytes that are no binary XML
};

constexpr quint32 V2PairId = 0x7109871a;
constexpr quint32 V3PairId = 0xf05368c0;
constexpr quint32 PaddingPairId = 0x42726577;
constexpr qint64 BombSize = qint64(256) << 20;

// What openssl itself says about a certificate, to hold our facts against.
struct KeyFacts
{
    QString key;         // --key
    QString certificate; // --cert
    QString subject;
    QString serial;
    QString sha256;
};

QByteArray Run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        return {};
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

QByteArray U32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray U64(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray Prefixed(const QByteArray &bytes)
{
    return U32(quint32(bytes.size())) + bytes;
}

QByteArray Pair(quint32 id, const QByteArray &value)
{
    return U64(quint64(value.size()) + 4) + U32(id) + value;
}

// A signing block around `pairs`; `trailingSizeOff` makes its two size fields disagree.
QByteArray Block(const QByteArray &pairs, int trailingSizeOff = 0)
{
    const quint64 size = quint64(pairs.size()) + 24;
    return U64(size) + pairs + U64(size + quint64(trailingSizeOff)) + "APK Sig Block 42";
}

// A v2 signer that is well formed all through but whose certificate is not DER.
QByteArray SignerWithBrokenCertificate()
{
    const QByteArray digest = Prefixed(U32(0x0103) + Prefixed(QByteArray(32, 'd')));
    const QByteArray signedData =
        Prefixed(digest) + Prefixed(Prefixed("not a certificate")) + Prefixed({});
    const QByteArray signature = Prefixed(U32(0x0103) + Prefixed(QByteArray(256, 's')));
    return Prefixed(Prefixed(signedData) + Prefixed(signature) + Prefixed("not a key"));
}

QByteArray V2Block(const QByteArray &signers)
{
    return Block(Pair(0x7109871a, Prefixed(signers)));
}

// The length-prefixed field at `at`, moving `at` past it.
QByteArray TakePrefixed(const QByteArray &bytes, qsizetype &at)
{
    const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at);
    at += 4 + size;
    return bytes.mid(at - size, size);
}

// A v2 or v3 value whose one signer vouches for the same content digests (and SDK range) as
// the first signer of `value`, but is signed by `key` with `certificate`, with `attributes`
// and no lineage: what an attacker with a key of their own makes.
QByteArray SignedByAnotherKey(bool v3, const QByteArray &value, const QString &key,
                              const QByteArray &certificate, const QByteArray &attributes = {})
{
    SignerParts parts = FirstSignerParts(value, v3);
    parts.attributes = attributes;
    return SchemeValue({CraftSigner(parts, key, certificate)});
}

// Crafting JAR signatures for the rows that check them as Android does.

QByteArray Der(quint8 tag, const QByteArray &contents)
{
    QByteArray length;
    for (qsizetype left = contents.size(); left > 0; left >>= 8)
        length.prepend(char(left & 0xff));
    if (contents.size() < 0x80)
        length = QByteArray(1, char(contents.size()));
    else
        length.prepend(char(0x80 | length.size()));
    return char(tag) + length + contents;
}

QByteArray DerOid(QByteArrayView dotted)
{
    QList<quint64> arcs;
    for (const QByteArray &arc : dotted.toByteArray().split('.'))
        arcs.append(arc.toULongLong());
    QByteArray body;
    const auto put = [&body](quint64 value) {
        QByteArray octets(1, char(value & 0x7f));
        while (value >>= 7)
            octets.prepend(char(0x80 | (value & 0x7f)));
        body += octets;
    };
    put(arcs[0] * 40 + arcs[1]);
    for (qsizetype i = 2; i < arcs.size(); ++i)
        put(arcs[i]);
    return Der(0x06, body);
}

const char *const SignedDataOid = "1.2.840.113549.1.7.2";

QByteArray AlgorithmIdentifier(QByteArrayView oid)
{
    return Der(0x30, DerOid(oid) + Der(0x05, {}));
}

enum class Attributes
{
    None,
    Good,             // content type id-data and the .SF's message digest
    NoContentType,    // the message digest alone
    WrongContentType, // content type signedData
    TwoDigests        // the message digest twice, as two attributes
};

// A SignerInfo over `signatureFile` by `certificate` (as it is to stand), signed by `sign`
// (SHA-256 with RSA), with `attributes`.
QByteArray SignerInfo(const std::function<QByteArray(const QByteArray &)> &sign,
                      const QByteArray &certificate, const QByteArray &signatureFile,
                      Attributes attributes)
{
    const X509Handle x509 = ParseCertificate(certificate);
    if (!x509)
        return {};
    const QByteArray issuerAndSerial =
        Der(0x30, EncodeDer(X509_get_issuer_name(x509.get()), i2d_X509_NAME) +
                      EncodeDer(X509_get0_serialNumber(x509.get()), i2d_ASN1_INTEGER));
    const auto attribute = [](QByteArrayView type, const QByteArray &value) {
        return Der(0x30, DerOid(type) + Der(0x31, value));
    };
    const QByteArray contentType =
        attribute("1.2.840.113549.1.9.3",
                  DerOid(attributes == Attributes::WrongContentType ? SignedDataOid
                                                                    : "1.2.840.113549.1.7.1"));
    const QByteArray digest =
        attribute("1.2.840.113549.1.9.4",
                  Der(0x04, QCryptographicHash::hash(signatureFile, QCryptographicHash::Sha256)));
    QByteArray signedAttributes;
    if (attributes == Attributes::Good || attributes == Attributes::WrongContentType)
        signedAttributes = contentType + digest;
    else if (attributes == Attributes::NoContentType)
        signedAttributes = digest;
    else if (attributes == Attributes::TwoDigests)
        signedAttributes = contentType + digest + digest;
    const QByteArray signature =
        sign(signedAttributes.isEmpty() ? signatureFile : Der(0x31, signedAttributes));
    return Der(0x30, Der(0x02, "\x01") + issuerAndSerial +
                         AlgorithmIdentifier("2.16.840.1.101.3.4.2.1") +
                         (signedAttributes.isEmpty() ? QByteArray() : Der(0xa0, signedAttributes)) +
                         AlgorithmIdentifier("1.2.840.113549.1.1.1") + Der(0x04, signature));
}

// A PKCS #7 SignedData over detached content, as a JAR signature block holds it.
QByteArray SignatureBlock(const QByteArray &certificates, const QByteArray &signerInfos)
{
    const QByteArray signedData =
        Der(0x30, Der(0x02, "\x01") + Der(0x31, AlgorithmIdentifier("2.16.840.1.101.3.4.2.1")) +
                      Der(0x30, DerOid("1.2.840.113549.1.7.1")) + Der(0xa0, certificates) +
                      Der(0x31, signerInfos));
    return Der(0x30, DerOid(SignedDataOid) + Der(0xa0, signedData));
}

// `der` with its outer length written in one octet more than DER allows, as a few real
// certificates were written.
QByteArray BerCertificate(const QByteArray &der)
{
    return der.size() > 4 && der[1] == char(0x82) ? QByteArray("\x30\x83\x00", 3) + der.sliced(2)
                                                  : QByteArray();
}

QByteArray Base64Of(QCryptographicHash::Algorithm algorithm, QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, algorithm).toBase64();
}

// The central directory's records, each whole, with where each starts (no archive comment).
QList<std::pair<qsizetype, QByteArray>> DirectoryRecords(const QByteArray &package)
{
    QList<std::pair<qsizetype, QByteArray>> records;
    const qsizetype end = package.size() - 22;
    for (qsizetype at = qFromLittleEndian<quint32>(package.constData() + end + 16); at < end;) {
        const auto field = [&](int offset) {
            return qFromLittleEndian<quint16>(package.constData() + at + offset);
        };
        const qsizetype size = 46 + field(28) + field(30) + field(32);
        records.append({at, package.mid(at, size)});
        at += size;
    }
    return records;
}

QByteArray RecordName(const QByteArray &record)
{
    return record.mid(46, qFromLittleEndian<quint16>(record.constData() + 28));
}

// The package with each JAR signature block's compression method set to `local` in its local
// header and to `central` in its central directory record.
QByteArray WithSignatureBlockMethod(QByteArray package, quint16 local, quint16 central)
{
    for (const auto &[at, record] : DirectoryRecords(package)) {
        if (!RecordName(record).startsWith("META-INF/") || !RecordName(record).endsWith(".RSA"))
            continue;
        qToLittleEndian(central, package.data() + at + 10);
        qToLittleEndian(local,
                        package.data() + qFromLittleEndian<quint32>(record.constData() + 42) + 8);
    }
    return package;
}

// The v2 content digest (chunked SHA-256) of a package without a signing block or comment,
// which is the same once a block is put before its central directory.
QByteArray ChunkedSha256(const QByteArray &package)
{
    const qsizetype end = package.size() - 22;
    const qsizetype directory = qFromLittleEndian<quint32>(package.constData() + end + 16);
    const QByteArrayView sections[] = {QByteArrayView(package).first(directory),
                                       QByteArrayView(package).sliced(directory, end - directory),
                                       QByteArrayView(package).sliced(end)};
    QByteArray chunks;
    quint32 count = 0;
    for (const QByteArrayView section : sections) {
        for (qsizetype at = 0; at < section.size(); at += 1 << 20, ++count) {
            const QByteArrayView piece =
                section.sliced(at, qMin<qsizetype>(1 << 20, section.size() - at));
            chunks += QCryptographicHash::hash(QByteArray(1, char(0xa5)) +
                                                   U32(quint32(piece.size())) + piece.toByteArray(),
                                               QCryptographicHash::Sha256);
        }
    }
    return QCryptographicHash::hash(QByteArray(1, char(0x5a)) + U32(count) + chunks,
                                    QCryptographicHash::Sha256);
}

// The package with `block` put before its central directory (no comment).
QByteArray WithSigningBlock(QByteArray package, const QByteArray &block)
{
    const quint32 directory = qFromLittleEndian<quint32>(package.constData() + package.size() - 6);
    package.insert(directory, block);
    qToLittleEndian(quint32(directory + block.size()), package.data() + package.size() - 6);
    return package;
}

// The rows on the platform range, v3.1, digests, lineages and key limits: their helpers.

constexpr qint32 Newest = ApiLevel::Newest;

QByteArray Attribute(quint32 id, const QByteArray &value)
{
    return Prefixed(U32(id) + value);
}

// A v3 value of signers made from `parts`, each with the key and certificate given beside it.
QByteArray V3Value(const QList<std::tuple<SignerParts, QString, QByteArray>> &signers)
{
    QList<QByteArray> crafted;
    for (const auto &[parts, key, certificate] : signers)
        crafted.append(CraftSigner(parts, key, certificate));
    return SchemeValue(crafted);
}

// `parts` for the platforms from `minSdk` through `maxSdk`, with `attributes`.
SignerParts ForPlatforms(SignerParts parts, qint32 minSdk, qint32 maxSdk,
                         const QByteArray &attributes = {})
{
    parts.minSdk = minSdk;
    parts.maxSdk = maxSdk;
    parts.attributes = attributes;
    return parts;
}

// `der`, a self-signed certificate for a 2,048-bit RSA key, with the modulus encoded as the
// negative number its bytes spell without their leading zero, signed again with `key`.
QByteArray WithNegativeModulus(const QByteArray &der, const QString &key)
{
    const auto lengthAt = [](QByteArray &bytes, qsizetype header) {
        return bytes.data() + header + 2; // a 0x82 form: two length bytes after tag and 0x82
    };
    const qsizetype modulus = der.indexOf(QByteArray("\x02\x82\x01\x01\x00", 5)) - 4;
    QByteArray tbs = der.mid(4, 4 + qFromBigEndian<quint16>(der.constData() + 6));
    const QByteArray algorithm = der.mid(4 + tbs.size(), 15);
    if (modulus < 28 || !algorithm.startsWith("\x30\x0d"))
        return {};
    // The modulus, the RSA key around it, its bit string, the key info and the TBS shrink.
    for (qsizetype header : {modulus, modulus - 4, modulus - 9, modulus - 28, qsizetype(0)})
        qToBigEndian<quint16>(qFromBigEndian<quint16>(lengthAt(tbs, header)) - 1,
                              lengthAt(tbs, header));
    tbs.remove(modulus + 4, 1);
    const QByteArray signature = SignSha256(key, tbs);
    const QByteArray body = tbs + algorithm + QByteArray("\x03\x82\x01\x01", 4) + '\0' + signature;
    QByteArray length(2, Qt::Uninitialized);
    qToBigEndian<quint16>(quint16(body.size()), length.data());
    return QByteArray("\x30\x82", 2) + length + body;
}

// `der` changed by `change`, then signed again with the private key (PKCS #8) `key`; empty
// when either fails.
QByteArray Changed(const QByteArray &der, const QString &key,
                   const std::function<bool(X509 *)> &change)
{
    const X509Handle certificate = ParseCertificate(der);
    return certificate && change(certificate.get()) ? SignedAnew(certificate.get(), key)
                                                    : QByteArray();
}

// Sets the certificate's key to the RSAPublicKey `rsaKey` (DER) under rsaEncryption, with
// `parameters`: V_ASN1_NULL, or V_ASN1_UNDEF for none.
bool SetRsaKey(X509 *certificate, const QByteArray &rsaKey, int parameters)
{
    auto *bytes = static_cast<unsigned char *>(OPENSSL_memdup(rsaKey.constData(), rsaKey.size()));
    if (X509_PUBKEY_set0_param(X509_get_X509_PUBKEY(certificate), OBJ_nid2obj(NID_rsaEncryption),
                               parameters, nullptr, bytes, int(rsaKey.size())) == 1)
        return true;
    OPENSSL_free(bytes);
    return false;
}

// The certificate's RSA key as an RSAPublicKey (DER), with the public exponent 1.
QByteArray WithExponentOne(X509 *certificate)
{
    BIGNUM *modulus = nullptr;
    if (EVP_PKEY_get_bn_param(X509_get0_pubkey(certificate), OSSL_PKEY_PARAM_RSA_N, &modulus) != 1)
        return {};
    QByteArray bytes(BN_num_bytes(modulus), Qt::Uninitialized);
    BN_bn2bin(modulus, reinterpret_cast<unsigned char *>(bytes.data()));
    BN_free(modulus);
    return Der(0x30, Der(0x02, '\0' + bytes) + Der(0x02, "\x01"));
}

// Replaces the certificate's extensions with the critical one `oid` holding `value`.
bool SetOnlyCriticalExtension(X509 *certificate, const char *oid, const QByteArray &value)
{
    while (X509_get_ext_count(certificate) > 0)
        X509_EXTENSION_free(X509_delete_ext(certificate, 0));
    std::unique_ptr<ASN1_OBJECT, decltype(&ASN1_OBJECT_free)> object(OBJ_txt2obj(oid, 1),
                                                                     ASN1_OBJECT_free);
    std::unique_ptr<ASN1_OCTET_STRING, decltype(&ASN1_OCTET_STRING_free)> octets(
        ASN1_OCTET_STRING_new(), ASN1_OCTET_STRING_free);
    if (!object || !octets ||
        ASN1_OCTET_STRING_set(octets.get(), reinterpret_cast<const unsigned char *>(value.data()),
                              int(value.size())) != 1)
        return false;
    std::unique_ptr<X509_EXTENSION, decltype(&X509_EXTENSION_free)> extension(
        X509_EXTENSION_create_by_OBJ(nullptr, object.get(), 1, octets.get()), X509_EXTENSION_free);
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

// What a package built for `change` holds beyond the usual.
PackageContents ManifestContents(Change change)
{
    PackageContents contents;
    const auto level = [&contents](int value) {
        contents.resources = {{QStringLiteral("values/levels.xml"),
                               "<resources><integer name='level'>" + QByteArray::number(value) +
                                   "</integer></resources>"}};
    };
    switch (change) {
    case Change::TargetSandbox2:
        contents.manifestAttributes = QStringLiteral("android:targetSandboxVersion=\"2\"");
        break;
    case Change::TargetSdk30:
        contents.manifestElements = QStringLiteral("<uses-sdk android:targetSdkVersion=\"30\"/>");
        break;
    case Change::MinSdkWrongId:
        contents.rewriteManifest = [](const QByteArray &xml) {
            return WithAttributeId(xml, QStringLiteral("minSdkVersion"), UnknownAttributeId);
        };
        break;
    case Change::MinSdkReference:
        level(24);
        contents.manifestElements =
            QStringLiteral("<uses-sdk android:minSdkVersion=\"@integer/level\"/>");
        break;
    case Change::TargetSdkReference:
        level(30);
        contents.manifestElements =
            QStringLiteral("<uses-sdk android:targetSdkVersion=\"@integer/level\"/>");
        break;
    case Change::SandboxReference:
        level(2);
        contents.manifestAttributes =
            QStringLiteral("android:targetSandboxVersion=\"@integer/level\"");
        break;
    case Change::ManifestPastCap:
        contents.rewriteManifest = [](const QByteArray &xml) {
            return WithPadding(xml, MaxManifestBytes);
        };
        break;
    case Change::ManifestNotXml:
        contents.rewriteManifest = [](const QByteArray &) {
            return QByteArray("<manifest package=\"org.pelmora.signed\"/>");
        };
        break;
    default:
        break;
    }
    return contents;
}

// Where Debian's apksigner cannot judge as Android does, apksig's own rule. It knows no v3.1
// (ApkVerifierTest: verifyV31_rotationTargetsDevRelease, verifyV31_strippingAttrMismatch); it
// drops the v3 block's own findings on the platforms its signers cover, which later apksig
// reports (V3_MISSING_SDK_VERSIONS, V3_INCONSISTENT_SDK_VERSIONS); and it takes RSA public
// exponents over 33 bits, which Android's BoringSSL refuses. A critical subjectKeyIdentifier
// in a JAR signer's certificate is supported by Java's certificates, which apksigner reads it
// with, and by none of Android's (Conscrypt's asks BoringSSL, whose list lacks it). Where apksig
// reads the manifest otherwise than Android, Android's rule: apksig takes no target level that
// refers to a resource, which Android resolves.
std::optional<bool> AndroidRuling(Change change, const QString &key)
{
    if (key == QLatin1String("keyid"))
        return false;
    switch (change) {
    case Change::V31DevRelease:
        return true;
    case Change::V31WrongRotation:
    case Change::V3Gap:
    case Change::V3Narrow:
    case Change::HugeExponent:
    // Android resolves the reference, to a level that needs v2 or v3; apksig does not.
    case Change::TargetSdkReference:
    case Change::SandboxReference:
        return false;
    default:
        return std::nullopt;
    }
}

} // namespace

class SignatureTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesApksigner_data();
    void matchesApksigner();

private:
    KeyFacts makeKey(const QString &name, const QStringList &keyOptions);
    bool addCertificate(const QString &name, const QByteArray &der, const QString &key);
    static void readCertificateFacts(KeyFacts &facts);
    QString buildPackage(const QString &name, int minSdk, const PackageContents &contents = {});
    QString sign(const QString &input, const QString &keyName, const QStringList &options);
    QString splice(const QString &input, const QByteArray &block);
    static bool addComment(const QString &path);
    bool addEntries(const QString &path, const QStringList &names);
    bool addBomb(const QString &path);
    bool addRepeatedSection(const QString &path);
    QByteArray hostile(Change change, const QByteArray &bytes);
    QByteArray withElevenSigners(const QByteArray &bytes);
    QStringList writeJarFiles(const QString &package, const QString &folder, Change change);
    bool replaceJarFiles(const QString &package, Change change);
    QByteArray withJarChange(Change change, const QByteArray &bytes);

    QTemporaryDir directory;
    QMap<QString, KeyFacts> keys;
    QByteArray exponentOne; // the rsa key's certificate with the public exponent 1
    QByteArray payload;
};

KeyFacts SignatureTest::makeKey(const QString &name, const QStringList &keyOptions)
{
    const QString openssl = QStringLiteral(SYSTEM_OPENSSL);
    KeyFacts facts{directory.filePath(name + QStringLiteral(".pk8")),
                   directory.filePath(name + QStringLiteral(".pem")),
                   {},
                   {},
                   {}};
    const QString pem = directory.filePath(name + QStringLiteral("-key.pem"));
    Run(openssl,
        QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-utf8"),
                    QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("3650"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=Pelmora 测试 %1/O=签名").arg(name),
                    QStringLiteral("-keyout"), pem, QStringLiteral("-out"), facts.certificate} +
            keyOptions);
    Run(openssl, {QStringLiteral("pkcs8"), QStringLiteral("-topk8"), QStringLiteral("-nocrypt"),
                  QStringLiteral("-in"), pem, QStringLiteral("-outform"), QStringLiteral("DER"),
                  QStringLiteral("-out"), facts.key});
    readCertificateFacts(facts);
    return facts;
}

// Keeps `der` as the certificate of key `name`, whose private key is `key`; false when it cannot
// be written as it stands.
bool SignatureTest::addCertificate(const QString &name, const QByteArray &der, const QString &key)
{
    KeyFacts facts{key, directory.filePath(name + QStringLiteral(".pem")), {}, {}, {}};
    const X509Handle certificate = ParseCertificate(der);
    std::unique_ptr<BIO, OpenSslFree> out(BIO_new_file(qPrintable(facts.certificate), "w"));
    if (!certificate || !out || PEM_write_bio_X509(out.get(), certificate.get()) != 1)
        return false;
    out.reset();
    readCertificateFacts(facts);
    keys.insert(name, facts);
    return CertificateDer(facts.certificate) == der;
}

// What openssl says of the certificate `facts` names.
void SignatureTest::readCertificateFacts(KeyFacts &facts)
{
    const QString openssl = QStringLiteral(SYSTEM_OPENSSL);
    const QByteArray text = Run(
        openssl, {QStringLiteral("x509"), QStringLiteral("-in"), facts.certificate,
                  QStringLiteral("-noout"), QStringLiteral("-serial"), QStringLiteral("-subject"),
                  QStringLiteral("-nameopt"), QStringLiteral("RFC2253,-esc_msb"),
                  QStringLiteral("-fingerprint"), QStringLiteral("-sha256")});
    for (const QByteArray &line : text.split('\n')) {
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        if (line.startsWith("serial="))
            facts.serial = value;
        else if (line.startsWith("subject="))
            facts.subject = value;
        else if (line.startsWith("sha256 Fingerprint="))
            facts.sha256 = value;
    }
}

QString SignatureTest::buildPackage(const QString &name, int minSdk,
                                    const PackageContents &contents)
{
    const QString path = BuildTestPackage(directory.path(), name,
                                          {QStringLiteral("org.pelmora.signed"),
                                           QStringLiteral("1.0"), QStringLiteral("签名"), minSdk},
                                          contents);
    // An entry with bytes of our own, which the rows that damage a package change.
    QFile dex(directory.filePath(QStringLiteral("classes.dex")));
    if (!dex.open(QIODevice::WriteOnly) || dex.write(payload) != payload.size())
        return {};
    dex.close();
    // A name too long for one manifest line, so that the manifest continues it on the next.
    const QString longName = QStringLiteral(
        "an-entry-whose-name-is-long-enough-that-the-manifest-continues-it-on-a-second-line.txt");
    for (const QString &name : {QStringLiteral("classes.dey"), longName}) {
        QFile other(directory.filePath(name));
        if (!other.open(QIODevice::WriteOnly) || other.write("another entry") < 0)
            return {};
    }
    QProcess aapt;
    aapt.setWorkingDirectory(directory.path());
    aapt.start(QStringLiteral(SYSTEM_AAPT),
               {QStringLiteral("add"), path, QStringLiteral("classes.dex"),
                QStringLiteral("classes.dey"), longName});
    return aapt.waitForFinished(-1) && aapt.exitCode() == 0 ? path : QString();
}

void SignatureTest::initTestCase()
{
    QVERIFY(directory.isValid());
    payload.resize(64 << 10);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
    keys.insert(
        QStringLiteral("rsa"),
        makeKey(QStringLiteral("rsa"), {QStringLiteral("-newkey"), QStringLiteral("rsa:2048")}));
    keys.insert(
        QStringLiteral("next"),
        makeKey(QStringLiteral("next"), {QStringLiteral("-newkey"), QStringLiteral("rsa:2048")}));
    // Over 3072 bits apksigner signs with SHA-512, and the content digest follows.
    keys.insert(QStringLiteral("rsa4096"),
                makeKey(QStringLiteral("rsa4096"),
                        {QStringLiteral("-newkey"), QStringLiteral("rsa:4096")}));
    keys.insert(QStringLiteral("ec"),
                makeKey(QStringLiteral("ec"),
                        {QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256")}));
    // A certificate whose modulus reads as a negative number, as some old signing tools wrote.
    const KeyFacts negative = makeKey(QStringLiteral("negative"),
                                      {QStringLiteral("-newkey"), QStringLiteral("rsa:2048")});
    QVERIFY(addCertificate(QStringLiteral("negative"),
                           WithNegativeModulus(CertificateDer(negative.certificate), negative.key),
                           negative.key));
    // An odd public exponent of 3,000 bits.
    QByteArray exponent(376, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(exponent.data()), 94);
    exponent.chop(1);
    exponent[0] = char(exponent[0] | 0x80);
    exponent[374] = char(exponent[374] | 1);
    keys.insert(
        QStringLiteral("huge"),
        makeKey(QStringLiteral("huge"),
                {QStringLiteral("-newkey"), QStringLiteral("rsa:3072"), QStringLiteral("-pkeyopt"),
                 QStringLiteral("rsa_keygen_pubexp:0x") + QString::fromLatin1(exponent.toHex())}));
    // The rsa key's certificate changed where Android reads otherwise than OpenSSL: its key
    // without NULL parameters, or with the public exponent 1; one critical extension.
    const QString rsaKey = keys[QStringLiteral("rsa")].key;
    const QByteArray rsaDer = CertificateDer(keys[QStringLiteral("rsa")].certificate);
    QVERIFY(addCertificate(
        QStringLiteral("nonull"),
        Changed(rsaDer, rsaKey,
                [](X509 *certificate) {
                    const ASN1_BIT_STRING *bits = X509_get0_pubkey_bitstr(certificate);
                    const QByteArray rsaPublicKey(reinterpret_cast<const char *>(bits->data),
                                                  bits->length);
                    return SetRsaKey(certificate, rsaPublicKey, V_ASN1_UNDEF);
                }),
        rsaKey));
    exponentOne = Changed(rsaDer, rsaKey, [](X509 *certificate) {
        return SetRsaKey(certificate, WithExponentOne(certificate), V_ASN1_NULL);
    });
    QVERIFY(ParseCertificate(exponentOne));
    const std::pair<const char *, QByteArray> criticalExtensions[] = {
        {"1.3.6.1.5.5.7.1.14", QByteArray::fromHex("300c300a06082b06010505071501")},
        {"1.3.6.1.5.5.7.1.7", QByteArray::fromHex("30083006040200010500")},
        {"2.5.29.14", Der(0x04, QCryptographicHash::hash(rsaDer, QCryptographicHash::Sha1))}};
    const QStringList extensionKeys = {QStringLiteral("proxy"), QStringLiteral("ipblocks"),
                                       QStringLiteral("keyid")};
    for (qsizetype i = 0; i < extensionKeys.size(); ++i) {
        const auto &[oid, value] = criticalExtensions[i];
        QVERIFY(addCertificate(extensionKeys[i],
                               Changed(rsaDer, rsaKey,
                                       [&](X509 *certificate) {
                                           return SetOnlyCriticalExtension(certificate, oid, value);
                                       }),
                               rsaKey));
    }
    for (const KeyFacts &key : std::as_const(keys))
        QVERIFY2(QFile::exists(key.key) && !key.sha256.isEmpty(), qPrintable(key.certificate));
    const KeyFacts &rsa = keys[QStringLiteral("rsa")];
    const KeyFacts &next = keys[QStringLiteral("next")];
    int exitCode = -1;
    Run(QStringLiteral(SYSTEM_APKSIGNER),
        {QStringLiteral("rotate"), QStringLiteral("--out"),
         directory.filePath(QStringLiteral("lineage")), QStringLiteral("--old-signer"),
         QStringLiteral("--key"), rsa.key, QStringLiteral("--cert"), rsa.certificate,
         QStringLiteral("--new-signer"), QStringLiteral("--key"), next.key,
         QStringLiteral("--cert"), next.certificate},
        &exitCode);
    QCOMPARE(exitCode, 0);
}

QString SignatureTest::sign(const QString &input, const QString &keyName,
                            const QStringList &options)
{
    static int count = 0;
    const QString output = directory.filePath(QStringLiteral("signed-%1.apk").arg(++count));
    const KeyFacts &key = keys[keyName];
    QStringList arguments = {QStringLiteral("sign"), QStringLiteral("--key"), key.key,
                             QStringLiteral("--cert"), key.certificate};
    if (keyName == QLatin1String("next")) {
        const KeyFacts &old = keys[QStringLiteral("rsa")];
        arguments = {QStringLiteral("sign"),
                     QStringLiteral("--lineage"),
                     directory.filePath(QStringLiteral("lineage")),
                     QStringLiteral("--key"),
                     old.key,
                     QStringLiteral("--cert"),
                     old.certificate,
                     QStringLiteral("--next-signer"),
                     QStringLiteral("--key"),
                     key.key,
                     QStringLiteral("--cert"),
                     key.certificate};
    }
    int exitCode = -1;
    Run(QStringLiteral(SYSTEM_APKSIGNER),
        arguments + options + QStringList{QStringLiteral("--out"), output, input}, &exitCode);
    return exitCode == 0 ? output : QString();
}

// The package with `block` put before its central directory, as a signer would put it.
QString SignatureTest::splice(const QString &input, const QByteArray &block)
{
    QFile in(input);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = in.readAll();
    // aapt writes no archive comment: the end record is the last 22 bytes.
    const qsizetype endRecord = bytes.size() - 22;
    const quint32 directoryOffset = qFromLittleEndian<quint32>(bytes.constData() + endRecord + 16);
    bytes.insert(directoryOffset, block);
    qToLittleEndian(quint32(directoryOffset + block.size()), bytes.data() + bytes.size() - 6);
    QFile out(input + QStringLiteral(".spliced.apk"));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return {};
    return out.fileName();
}

bool SignatureTest::addComment(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    // aapt writes no comment: the end record's last field, the comment's length, ends the file.
    const QByteArray comment("PK\x05\x06 not an end record, only a comment");
    QByteArray length(2, Qt::Uninitialized);
    qToLittleEndian(quint16(comment.size()), length.data());
    return file.seek(file.size() - 2) && file.write(length + comment) == comment.size() + 2;
}

// Adds files of the test directory to the package as they are named there.
bool SignatureTest::addEntries(const QString &path, const QStringList &names)
{
    QProcess aapt;
    aapt.setWorkingDirectory(directory.path());
    aapt.start(QStringLiteral(SYSTEM_AAPT), QStringList{QStringLiteral("add"), path} + names);
    return aapt.waitForFinished(-1) && aapt.exitCode() == 0;
}

bool SignatureTest::addBomb(const QString &path)
{
    QFile bomb(directory.filePath(QStringLiteral("bomb.bin")));
    if (!bomb.open(QIODevice::WriteOnly) || !bomb.resize(BombSize))
        return false;
    bomb.close();
    return addEntries(path, {QStringLiteral("bomb.bin")});
}

bool SignatureTest::addRepeatedSection(const QString &path)
{
    const QStringList names = WriteRepeatedSectionSignature(
        directory.path(), QStringLiteral(SYSTEM_OPENSSL),
        directory.filePath(QStringLiteral("rsa-key.pem")), keys[QStringLiteral("rsa")].certificate,
        "classes.dex", payload, 1 << 20, 200);
    return !names.isEmpty() && addEntries(path, names);
}

// The v1-signed package `bytes` with ten more signers: copies of its signature files, each a
// distinct entry, all valid.
QByteArray SignatureTest::withElevenSigners(const QByteArray &bytes)
{
    const QString path = directory.filePath(QStringLiteral("eleven.apk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
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
            QFile out(directory.filePath(copyName));
            if (!out.open(QIODevice::WriteOnly) || out.write(*content) != content->size())
                return {};
            copies.append(copyName);
        }
    }
    return copies.size() == 20 && addEntries(path, copies) ? ReadFile(path) : QByteArray();
}

// Writes META-INF/MANIFEST.MF, CERT.SF and CERT.RSA for the entries of `package` into `folder`
// as `change` asks, signed with the "rsa" key. Returns their names relative to `folder`.
QStringList SignatureTest::writeJarFiles(const QString &package, const QString &folder,
                                         Change change)
{
    const KeyFacts &rsa = keys[QStringLiteral("rsa")];
    if (change == Change::ManifestBomb)
        return WriteManifestBomb(folder, QStringLiteral(SYSTEM_OPENSSL),
                                 directory.filePath(QStringLiteral("rsa-key.pem")), rsa.certificate,
                                 100'000 * 11);
    const SafeFile file(QFile::encodeName(package));
    const ZipArchive archive(file);
    const bool sha384 = change == Change::Sha384Digests;
    const auto algorithm = sha384 ? QCryptographicHash::Sha384 : QCryptographicHash::Sha256;
    const QByteArray digestName = sha384 ? "SHA-384" : "SHA-256";
    const QByteArray main = "Manifest-Version: 1.0\r\nCreated-By: Pelmora tests\r\n\r\n";
    QByteArray manifest = main;
    QList<std::pair<QByteArray, QByteArray>> sections;
    for (const QByteArray &entry : archive.entryNames()) {
        if (entry.startsWith("META-INF/"))
            continue;
        const auto bytes = archive.readEntry(entry, 1 << 20);
        if (!bytes)
            return {};
        QByteArray section = "Name: " + entry + "\r\n" + digestName +
                             "-Digest: " + Base64Of(algorithm, *bytes) + "\r\n";
        if (change == Change::WrongStrongerDigest)
            section += "SHA-384-Digest: " +
                       Base64Of(QCryptographicHash::Sha384,
                                entry == "classes.dex" ? *bytes + "x" : *bytes) +
                       "\r\n";
        section += "\r\n";
        sections.append({entry, section});
        manifest += section;
        if (change == Change::SectionTwice && entry == "classes.dex")
            manifest += section;
    }
    QByteArray signatureFile =
        "Signature-Version: 1.0\r\nCreated-By: Pelmora tests\r\n" + digestName +
        "-Digest-Manifest: " + Base64Of(algorithm, manifest) + "\r\n" + digestName +
        "-Digest-Manifest-Main-Attributes: " +
        Base64Of(algorithm, change == Change::WrongMainAttributes ? main + "x" : main) + "\r\n\r\n";
    for (const auto &[entry, section] : std::as_const(sections))
        signatureFile += "Name: " + entry + "\r\n" + digestName +
                         "-Digest: " + Base64Of(algorithm, section) + "\r\n\r\n";

    using Signing = std::function<QByteArray(const QByteArray &)>;
    const auto signingWith = [](const QString &key) -> Signing {
        return [key](const QByteArray &data) { return SignSha256(key, data); };
    };
    QByteArray certificate = CertificateDer(rsa.certificate);
    Signing sign = signingWith(rsa.key);
    if (change == Change::BerCertificate)
        certificate = BerCertificate(certificate);
    if (change == Change::JarExponentOne) {
        certificate = exponentOne;
        // The rsa key's modulus of 2,048 bits, taken with the exponent 1.
        sign = [](const QByteArray &data) { return UnkeyedSignature(data, 2048 / 8); };
    }
    const QHash<Change, Attributes> attributes = {
        {Change::SignedAttributes, Attributes::Good},
        {Change::AttributesNoContentType, Attributes::NoContentType},
        {Change::AttributesWrongContentType, Attributes::WrongContentType},
        {Change::AttributesTwoDigests, Attributes::TwoDigests},
        {Change::TwoSignerInfos, Attributes::Good}};
    QByteArray certificates = certificate;
    QByteArray signerInfos =
        SignerInfo(sign, certificate, signatureFile, attributes.value(change, Attributes::None));
    if (change == Change::TwoSignerInfos) {
        const KeyFacts &next = keys[QStringLiteral("next")];
        const QByteArray nextCertificate = CertificateDer(next.certificate);
        certificates.prepend(nextCertificate);
        signerInfos.prepend(SignerInfo(signingWith(next.key), nextCertificate, signatureFile,
                                       Attributes::WrongContentType));
    }
    const QStringList names = {QStringLiteral("META-INF/MANIFEST.MF"),
                               QStringLiteral("META-INF/CERT.SF"),
                               QStringLiteral("META-INF/CERT.RSA")};
    const QByteArray contents[] = {manifest, signatureFile,
                                   SignatureBlock(certificates, signerInfos)};
    QDir(folder).mkpath(QStringLiteral("META-INF"));
    for (qsizetype i = 0; i < names.size(); ++i) {
        QFile out(QDir(folder).filePath(names[i]));
        if (certificate.isEmpty() || !out.open(QIODevice::WriteOnly) ||
            out.write(contents[i]) != contents[i].size())
            return {};
    }
    return names;
}

// Replaces the JAR signature files of `package` with those `change` asks for.
bool SignatureTest::replaceJarFiles(const QString &package, Change change)
{
    const QTemporaryDir folder(directory.filePath(QStringLiteral("jar-XXXXXX")));
    const QStringList names = writeJarFiles(package, folder.path(), change);
    QStringList existing;
    for (const QByteArray &name :
         ZipArchive(SafeFile(QFile::encodeName(package))).entryNames("META-INF/"))
        existing.append(QString::fromUtf8(name));
    QProcess aapt;
    if (!existing.isEmpty()) {
        aapt.start(QStringLiteral(SYSTEM_AAPT),
                   QStringList{QStringLiteral("remove"), package} + existing);
        if (!aapt.waitForFinished(-1) || aapt.exitCode() != 0)
            return false;
    }
    aapt.setWorkingDirectory(folder.path());
    aapt.start(QStringLiteral(SYSTEM_AAPT), QStringList{QStringLiteral("add"), package} + names);
    return !names.isEmpty() && aapt.waitForFinished(-1) && aapt.exitCode() == 0;
}

QByteArray SignatureTest::withJarChange(Change change, const QByteArray &bytes)
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
    case Change::BerCertificate: {
        // A v2 signature over the JAR-signed package, by the same certificate as it stands.
        const KeyFacts &rsa = keys[QStringLiteral("rsa")];
        constexpr quint32 RsaPkcs1Sha256 = 0x0103;
        const QByteArray digests = Prefixed(U32(RsaPkcs1Sha256) + Prefixed(ChunkedSha256(bytes)));
        const QByteArray certificate = BerCertificate(CertificateDer(rsa.certificate));
        SignerParts parts;
        parts.digests = digests;
        return WithSigningBlock(
            bytes, Block(Pair(V2PairId, SchemeValue({CraftSigner(parts, rsa.key, certificate)}))));
    }
    default:
        break;
    }
    const QString path = directory.filePath(QStringLiteral("jar-change.apk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    if (change == Change::ExtraMetaInfEntry) {
        QDir(directory.path()).mkpath(QStringLiteral("META-INF"));
        QFile extra(directory.filePath(QStringLiteral("META-INF/extra.version")));
        if (!extra.open(QIODevice::WriteOnly) || extra.write("1.0\n") != 4)
            return {};
        extra.close();
        return addEntries(path, {QStringLiteral("META-INF/extra.version")}) ? ReadFile(path)
                                                                            : QByteArray();
    }
    return replaceJarFiles(path, change) ? ReadFile(path) : QByteArray();
}

QByteArray SignatureTest::hostile(Change change, const QByteArray &bytes)
{
    const KeyFacts &rsa = keys[QStringLiteral("rsa")];
    const QByteArray rsaCertificate = CertificateDer(rsa.certificate);
    const auto isJarSignature = [](const QByteArray &name) {
        return name.startsWith("META-INF/") && (name.endsWith(".SF") || name.endsWith(".RSA"));
    };
    switch (change) {
    case Change::SecondArchive: {
        const QString other =
            BuildTestPackage(directory.path(), QStringLiteral("other.apk"),
                             {QStringLiteral("org.pelmora.other"), QStringLiteral("6.6"),
                              QStringLiteral("另一个"), 0});
        return WithSecondArchive(bytes, ReadFile(other));
    }
    case Change::StripV3:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            return BlockPair(id == V3PairId ? PaddingPairId : id, value);
        });
    case Change::V3ByAnotherKey:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            const KeyFacts &other = keys[QStringLiteral("next")];
            return BlockPair(id, id == V3PairId
                                     ? SignedByAnotherKey(true, value, other.key,
                                                          CertificateDer(other.certificate))
                                     : value);
        });
    case Change::V2ByAnotherKey:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            const KeyFacts &other = keys[QStringLiteral("next")];
            return BlockPair(id, id == V2PairId
                                     ? SignedByAnotherKey(false, value, other.key,
                                                          CertificateDer(other.certificate))
                                     : value);
        });
    case Change::StripV31:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            constexpr quint32 RotationMinSdkId = 0x559f8b02;
            const KeyFacts &same = keys[QStringLiteral("rsa")];
            return BlockPair(id, id == V3PairId
                                     ? SignedByAnotherKey(true, value, same.key,
                                                          CertificateDer(same.certificate),
                                                          Prefixed(U32(RotationMinSdkId) + U32(33)))
                                     : value);
        });
    case Change::V3SignerTwice:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            qsizetype at = 0;
            const QByteArray signers = TakePrefixed(value, at);
            return BlockPair(id, id == V3PairId ? Prefixed(signers + signers) : value);
        });
    case Change::AliasedEntry:
        return WithAliases(
            bytes, [](const QByteArray &name) { return name == "classes.dex"; }, 1);
    case Change::BombNamedOften:
        return WithAliases(
            bytes, [](const QByteArray &name) { return name == "bomb.bin"; }, 63);
    case Change::AliasedSigners:
        return WithAliases(bytes, isJarSignature, 4000);
    case Change::ElevenSigners:
        return withElevenSigners(bytes);
    case Change::WalleMarker:
    case Change::VasDollyMarker: {
        const bool walle = change == Change::WalleMarker;
        return WithBlockPairs(bytes, [walle](quint32 id, const QByteArray &value) {
            QByteArray pairs = BlockPair(id, value);
            if (id == V2PairId)
                pairs += walle ? BlockPair(0x71777777, R"({"channel":"华为应用市场","k":"v"})")
                               : BlockPair(0x881155ff, "xiaomi");
            return pairs;
        });
    }
    case Change::V31Alone:
        return WithBlockPairs(bytes, [](quint32 id, const QByteArray &value) {
            return BlockPair(id == V3PairId ? V31SchemeId : id, value);
        });
    case Change::V31WrongRotation:
    case Change::V31DevRelease:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V3PairId)
                return BlockPair(id, value);
            const bool dev = change == Change::V31DevRelease;
            const SignerParts parts = FirstSignerParts(value, true);
            const QByteArray v3 = V3Value(
                {{ForPlatforms(parts, parts.minSdk, 33, Attribute(RotationMinSdkId, U32(33))),
                  rsa.key, rsaCertificate}});
            const QByteArray v31 =
                V3Value({{ForPlatforms(parts, dev ? 33 : 34, Newest,
                                       dev ? Attribute(DevReleaseId, {}) : QByteArray()),
                          rsa.key, rsaCertificate}});
            return BlockPair(V3PairId, v3) + BlockPair(V31SchemeId, v31);
        });
    case Change::DigestListedTwice:
    case Change::VerityWrong:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V2PairId)
                return BlockPair(id, value);
            SignerParts parts = FirstSignerParts(value, false);
            if (change == Change::VerityWrong) {
                // The verity digest comes last: a root of 32 bytes, then the length.
                parts.digests[parts.digests.size() - 9] ^= 1;
                parts.algorithms = {0x0103, 0x0421};
            } else {
                QByteArray again = parts.digests;
                again[again.size() - 1] ^= 1;
                parts.digests += again;
                parts.algorithms = {0x0103, 0x0103};
            }
            return BlockPair(id, SchemeValue({CraftSigner(parts, rsa.key, rsaCertificate)}));
        });
    case Change::LineageRepeats:
    case Change::LineageTooLong:
    case Change::V3Gap:
    case Change::V3Narrow:
    case Change::TwoV3Signers:
        return WithBlockPairs(bytes, [&](quint32 id, const QByteArray &value) {
            if (id != V3PairId)
                return BlockPair(id, value);
            const SignerParts parts = FirstSignerParts(value, true);
            const KeyFacts &next = keys[QStringLiteral("next")];
            const QByteArray nextCertificate = CertificateDer(next.certificate);
            const qsizetype nodes = change == Change::LineageTooLong ? MaxLineageNodes + 1 : 2;
            const QByteArray repeated =
                LineageAttribute(QList<QByteArray>(nodes, rsaCertificate), rsa.key);
            switch (change) {
            case Change::V3Gap:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 24, 29), rsa.key, rsaCertificate},
                                 {ForPlatforms(parts, 31, Newest), rsa.key, rsaCertificate}}));
            case Change::V3Narrow:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 30, Newest), rsa.key, rsaCertificate}}));
            case Change::TwoV3Signers:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, 24, 32), rsa.key, rsaCertificate},
                                 {ForPlatforms(
                                      parts, 33, Newest,
                                      LineageAttribute({rsaCertificate, nextCertificate}, rsa.key)),
                                  next.key, nextCertificate}}));
            default:
                return BlockPair(
                    id, V3Value({{ForPlatforms(parts, parts.minSdk, parts.maxSdk, repeated),
                                  rsa.key, rsaCertificate}}));
            }
        });
    case Change::ExponentOne:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            if (id != V2PairId && id != V3PairId)
                return BlockPair(id, value);
            return BlockPair(id, SchemeValue({CraftUnkeyedSigner(
                                     FirstSignerParts(value, id == V3PairId), exponentOne)}));
        });
    case Change::KeyWithoutNull:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            if (id != V2PairId)
                return BlockPair(id, value);
            const KeyFacts &nonull = keys[QStringLiteral("nonull")];
            const QByteArray certificate = CertificateDer(nonull.certificate);
            const X509Handle x509 = ParseCertificate(certificate);
            SignerParts parts = FirstSignerParts(value, false);
            parts.publicKey = EncodeDer(X509_get_X509_PUBKEY(x509.get()), i2d_X509_PUBKEY);
            return BlockPair(id, SchemeValue({CraftSigner(parts, nonull.key, certificate)}));
        });
    case Change::CommentMarker: {
        const QByteArray name = "应用宝";
        QByteArray length(2, Qt::Uninitialized);
        qToLittleEndian(quint16(name.size()), length.data());
        const QByteArray comment = name + length + "ltlovezh";
        QByteArray marked = bytes;
        qToLittleEndian(quint16(comment.size()), marked.data() + marked.size() - 2);
        return marked + comment;
    }
    case Change::SignedAttributes:
    case Change::AttributesNoContentType:
    case Change::AttributesWrongContentType:
    case Change::AttributesTwoDigests:
    case Change::TwoSignerInfos:
    case Change::Sha384Digests:
    case Change::WrongMainAttributes:
    case Change::WrongStrongerDigest:
    case Change::SectionTwice:
    case Change::BerCertificate:
    case Change::LocalMethodStored:
    case Change::Method21:
    case Change::LowerCaseSignatureFile:
    case Change::ExtraMetaInfEntry:
    case Change::ManifestBomb:
    case Change::JarExponentOne:
        return withJarChange(change, bytes);
    default:
        return bytes;
    }
}

void SignatureTest::matchesApksigner_data()
{
    QTest::addColumn<int>("minSdk");
    QTest::addColumn<QString>("key"); // empty: unsigned
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QByteArray>("block"); // put into the unsigned package when set
    QTest::addColumn<QString>("schemes");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("publicKey");

    const QString v1v2v3 = QStringLiteral("v1 (JAR), v2, v3");
    const QStringList v1Only = {QStringLiteral("--v2-signing-enabled"), QStringLiteral("false"),
                                QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
    const QStringList v2Only = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false"),
                                QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
    const QStringList v1v2 = {QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
    const QString rsa = QStringLiteral("RSA 2048 位");
    const QString failed = QStringLiteral("失败：");

    QTest::newRow("unsigned") << 0 << QString() << QStringList() << Change::None << QByteArray()
                              << QStringLiteral("无") << QStringLiteral("未签名") << QString();
    QTest::newRow("v1 only") << 0 << QStringLiteral("rsa") << v1Only << Change::None << QByteArray()
                             << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("v2 only, EC key")
        << 24 << QStringLiteral("ec") << v2Only << Change::None << QByteArray()
        << QStringLiteral("v2") << QStringLiteral("通过") << QStringLiteral("EC 256 位");
    QTest::newRow("v1 v2 v3") << 0 << QStringLiteral("rsa") << QStringList() << Change::None
                              << QByteArray() << v1v2v3 << QStringLiteral("通过") << rsa;
    QTest::newRow("v1 v2 v3, SHA-512")
        << 0 << QStringLiteral("rsa4096") << QStringList() << Change::None << QByteArray() << v1v2v3
        << QStringLiteral("通过") << QStringLiteral("RSA 4096 位");
    QTest::newRow("v1 v2 v3, archive comment")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::ArchiveComment << QByteArray()
        << v1v2v3 << QStringLiteral("通过") << rsa;
    QTest::newRow("v3 with a rotated key")
        << 0 << QStringLiteral("next") << QStringList() << Change::None << QByteArray() << v1v2v3
        << QStringLiteral("通过") << rsa;
    QTest::newRow("v1 v2 v3, entry byte changed")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::FlipEntryByte << QByteArray()
        << v1v2v3 << failed + QStringLiteral("v1 文件 classes.dex 摘要不符") << rsa;
    QTest::newRow("v2 only, entry byte changed")
        << 24 << QStringLiteral("rsa") << v2Only << Change::FlipEntryByte << QByteArray()
        << QStringLiteral("v2") << failed + QStringLiteral("v2 内容摘要不符") << rsa;
    QTest::newRow("truncated") << 0 << QStringLiteral("rsa") << QStringList() << Change::Truncate
                               << QByteArray() << QStringLiteral("无")
                               << failed + QStringLiteral("ZIP 结构损坏") << QString();
    QTest::newRow("v1 only, an entry named twice")
        << 0 << QStringLiteral("rsa") << v1Only << Change::DuplicateEntry << QByteArray()
        << QStringLiteral("无")
        << failed + QStringLiteral("ZIP 结构异常：文件 classes.dex 重复出现") << QString();
    QTest::newRow("v2 block stripped")
        << 0 << QStringLiteral("rsa") << v1v2 << Change::Realign << QByteArray()
        << QStringLiteral("v1 (JAR)") << failed + QStringLiteral("v2/v3 签名已被剥离") << rsa;

    const QStringList v2v3 = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false")};
    const QString malformed = failed + QStringLiteral("ZIP 结构异常：");
    QTest::newRow("two end records")
        << 0 << QStringLiteral("rsa") << v1Only << Change::SecondArchive << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("有多个结束记录") << QString();
    QTest::newRow("v3 stripped") << 24 << QStringLiteral("rsa") << v2v3 << Change::StripV3
                                 << QByteArray() << QStringLiteral("v2")
                                 << failed + QStringLiteral("v3 签名已被剥离") << rsa;
    QTest::newRow("v3.1 stripped")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::StripV31 << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名已被剥离") << rsa;
    QTest::newRow("v3 signed by another key")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V3ByAnotherKey << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("各方案签名者不一致") << rsa;
    QTest::newRow("v2 signed by another key than v1")
        << 0 << QStringLiteral("rsa") << v1v2 << Change::V2ByAnotherKey << QByteArray()
        << QStringLiteral("v1 (JAR), v2") << failed + QStringLiteral("各方案签名者不一致") << rsa;
    QTest::newRow("v3 signers overlap")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V3SignerTwice << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名者平台版本重叠") << rsa;
    QTest::newRow("aliased entry")
        << 0 << QStringLiteral("rsa") << v1Only << Change::AliasedEntry << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();
    QTest::newRow("deflate bomb named 64 times")
        << 0 << QStringLiteral("rsa") << v1Only << Change::BombNamedOften << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();
    QTest::newRow("deflate bomb") << 0 << QStringLiteral("rsa") << v1Only << Change::Bomb
                                  << QByteArray() << QStringLiteral("v1 (JAR)")
                                  << failed + QStringLiteral("v1 解压后的数据超过上限") << rsa;
    QTest::newRow("signature file repeating a section")
        << 0 << QString() << QStringList() << Change::RepeatedSection << QByteArray()
        << QStringLiteral("v1 (JAR)") << failed + QStringLiteral("v1 没有有效的签名文件") << rsa;
    QTest::newRow("4,000 aliased JAR signers")
        << 0 << QStringLiteral("rsa") << v1Only << Change::AliasedSigners << QByteArray()
        << QStringLiteral("无") << malformed + QStringLiteral("多个条目共用同一数据") << QString();

    QTest::newRow("eleven JAR signers")
        << 0 << QStringLiteral("rsa") << v1Only << Change::ElevenSigners << QByteArray()
        << QStringLiteral("v1 (JAR)") << failed + QStringLiteral("v1 签名者过多") << QString();
    QTest::newRow("channel in a JSON pair")
        << 0 << QStringLiteral("rsa") << QStringList() << Change::WalleMarker << QByteArray()
        << v1v2v3 << QStringLiteral("通过") << rsa;
    QTest::newRow("channel in a pair of its own")
        << 24 << QStringLiteral("ec") << v2Only << Change::VasDollyMarker << QByteArray()
        << QStringLiteral("v2") << QStringLiteral("通过") << QStringLiteral("EC 256 位");
    QTest::newRow("channel in the ZIP comment")
        << 0 << QStringLiteral("rsa") << v1Only << Change::CommentMarker << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;

    QTest::newRow("ZIP64 marker") << 0 << QString() << QStringList() << Change::Zip64Marker
                                  << QByteArray() << QStringLiteral("无")
                                  << failed + QStringLiteral("不支持 ZIP64") << QString();

    const QByteArray someValue = U32(0x7109871a) + QByteArray(8, 'x');
    QTest::newRow("pair length past the end")
        << 0 << QString() << QStringList() << Change::None << Block(U64(1000) + someValue)
        << QStringLiteral("无") << failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("pair length over 32 bits")
        << 0 << QString() << QStringList() << Change::None
        << Block(U64(Q_UINT64_C(0x100000000) + 12) + someValue) << QStringLiteral("无")
        << failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("zero-length pair")
        << 0 << QString() << QStringList() << Change::None << Block(U64(0) + someValue)
        << QStringLiteral("无") << failed + QStringLiteral("签名块格式错误") << QString();
    QTest::newRow("block sizes disagree")
        << 0 << QString() << QStringList() << Change::None
        << Block(Pair(0x7109871a, Prefixed({})), 8) << QStringLiteral("无")
        << failed + QStringLiteral("签名块大小不一致") << QString();
    QTest::newRow("signer list past the end")
        << 0 << QString() << QStringList() << Change::None
        << Block(Pair(0x7109871a, U32(0xfffffff0))) << QStringLiteral("v2")
        << failed + QStringLiteral("v2 签名数据格式错误") << QString();
    QTest::newRow("two million signers")
        << 0 << QString() << QStringList() << Change::None
        << V2Block(Prefixed({}).repeated(2'000'000)) << QStringLiteral("v2")
        << failed + QStringLiteral("v2 签名者过多") << QString();
    QTest::newRow("certificate not DER")
        << 0 << QString() << QStringList() << Change::None << V2Block(SignerWithBrokenCertificate())
        << QStringLiteral("v2") << failed + QStringLiteral("证书无法解析")
        << QStringLiteral("证书无法解析");
    // The JAR signature as Android reads it: the range of versions each rule holds for is the
    // package's own, from its minimum SDK.
    const QString block = QStringLiteral("META-INF/CERT.RSA");
    QTest::newRow("signed attributes")
        << 21 << QStringLiteral("rsa") << v1Only << Change::SignedAttributes << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("signed attributes without a content type")
        << 21 << QStringLiteral("rsa") << v1Only << Change::AttributesNoContentType << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 %1 的签名属性缺少内容类型").arg(block) << QString();
    QTest::newRow("signed attributes with a wrong content type")
        << 21 << QStringLiteral("rsa") << v1Only << Change::AttributesWrongContentType
        << QByteArray() << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 签名文件 %1 校验失败").arg(block) << QString();
    QTest::newRow("signed attributes with two message digests")
        << 21 << QStringLiteral("rsa") << v1Only << Change::AttributesTwoDigests << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 %1 的签名属性格式错误").arg(block) << QString();
    // Before 7.0 Android takes the first SignerInfo, from 7.0 on the first that verifies.
    QTest::newRow("two SignerInfos, the first refused from 7.0 on, minimum SDK 21")
        << 21 << QStringLiteral("rsa") << v1Only << Change::TwoSignerInfos << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 签名文件 %1 校验失败").arg(block) << QString();
    QTest::newRow("two SignerInfos, the first refused from 7.0 on, minimum SDK 24")
        << 24 << QStringLiteral("rsa") << v1Only << Change::TwoSignerInfos << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("SHA-384 digests in MANIFEST.MF and the signature file")
        << 18 << QStringLiteral("rsa") << v1Only << Change::Sha384Digests << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("wrong digest of the manifest's main attributes")
        << 18 << QStringLiteral("rsa") << v1Only << Change::WrongMainAttributes << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 META-INF/CERT.SF 与清单的主属性不符") << rsa;
    QTest::newRow("wrong SHA-384 digest beside a right SHA-256 one")
        << 18 << QStringLiteral("rsa") << v1Only << Change::WrongStrongerDigest << QByteArray()
        << QStringLiteral("v1 (JAR)") << failed + QStringLiteral("v1 文件 classes.dex 摘要不符")
        << rsa;
    QTest::newRow("manifest section given twice")
        << 18 << QStringLiteral("rsa") << v1Only << Change::SectionTwice << QByteArray()
        << QStringLiteral("v1 (JAR)") << failed + QStringLiteral("v1 清单中 classes.dex 出现了两次")
        << rsa;
    QTest::newRow("BER-encoded certificate, v1 and v2")
        << 18 << QStringLiteral("rsa") << QStringList() << Change::BerCertificate << QByteArray()
        << QStringLiteral("v1 (JAR), v2") << QStringLiteral("通过") << rsa;
    QTest::newRow("local header naming another method than the directory")
        << 0 << QStringLiteral("rsa") << v1Only << Change::LocalMethodStored << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("method 21 in the central directory")
        << 0 << QStringLiteral("rsa") << v1Only << Change::Method21 << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("signature file named in lower case")
        << 0 << QStringLiteral("rsa") << v1Only << Change::LowerCaseSignatureFile << QByteArray()
        << QStringLiteral("无") << QStringLiteral("未签名") << QString();
    QTest::newRow("extra META-INF entry")
        << 0 << QStringLiteral("rsa") << v1Only << Change::ExtraMetaInfEntry << QByteArray()
        << QStringLiteral("v1 (JAR)") << QStringLiteral("通过") << rsa;
    QTest::newRow("manifest of 100,000 sections")
        << 0 << QStringLiteral("rsa") << v1Only << Change::ManifestBomb << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 META-INF/MANIFEST.MF 的节数或属性数超过上限") << rsa;

    // What the platforms from the package's minimum through the newest need, v3.1, digests,
    // lineages and key limits.
    const QStringList verity = v2v3 + QStringList{QStringLiteral("--verity-enabled")};
    QTest::newRow("v2 only, minimum SDK 21")
        << 21 << QStringLiteral("rsa") << v2Only << Change::None << QByteArray()
        << QStringLiteral("v2") << failed + QStringLiteral("Android 7.0 以下需要 v1 (JAR) 签名")
        << rsa;
    QTest::newRow("v1 only, targetSandboxVersion 2")
        << 0 << QStringLiteral("rsa") << v1Only << Change::TargetSandbox2 << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("targetSandboxVersion 2 需要 v2 或 v3 签名") << rsa;
    QTest::newRow("v1 only, targetSdkVersion 30")
        << 0 << QStringLiteral("rsa") << v1Only << Change::TargetSdk30 << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("targetSdkVersion 30 需要 v2 或 v3 签名") << rsa;
    QTest::newRow("v3.1 block alone")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V31Alone << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名已被剥离") << rsa;
    QTest::newRow("v3.1 takeover named wrong")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V31WrongRotation << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名者所记的 v3.1 起始版本不符")
        << rsa;
    QTest::newRow("v3.1 signer for a development release")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V31DevRelease << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << rsa;
    QTest::newRow("negative RSA modulus in the certificate")
        << 24 << QStringLiteral("negative") << v2v3 << Change::None << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << rsa;
    QTest::newRow("v2 digest listed twice")
        << 24 << QStringLiteral("rsa") << v2Only << Change::DigestListedTwice << QByteArray()
        << QStringLiteral("v2") << failed + QStringLiteral("v2 内容摘要不符") << rsa;
    QTest::newRow("lineage naming a certificate twice")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::LineageRepeats << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 密钥轮换记录中有重复的证书")
        << rsa;
    QTest::newRow("v3 signers leave a gap")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V3Gap << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名者未覆盖 API 30") << rsa;
    QTest::newRow("v3 signer from API 30 only")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::V3Narrow << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 签名者未覆盖 API 28–29") << rsa;
    QTest::newRow("verity algorithms")
        << 24 << QStringLiteral("rsa") << verity << Change::None << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << rsa;
    QTest::newRow("verity digest wrong")
        << 24 << QStringLiteral("rsa") << verity << Change::VerityWrong << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v2 内容摘要不符") << rsa;
    QTest::newRow("v3 signers for 24–32 and 33 and up")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::TwoV3Signers << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << rsa;
    QTest::newRow("lineage past the cap")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::LineageTooLong << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v3 密钥轮换记录超过上限") << rsa;
    QTest::newRow("RSA exponent of 3,000 bits")
        << 24 << QStringLiteral("huge") << v2v3 << Change::HugeExponent << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("v2 RSA 公钥指数超过上限")
        << QStringLiteral("RSA 3072 位");

    // Keys and certificates as Android reads them: a "signature" that is the padded digest
    // under a public exponent of 1, in each scheme that decides; an RSA key without NULL
    // parameters in the certificate, then in the signer's key too; critical extensions.
    const QStringList v3Only = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false"),
                                QStringLiteral("--v2-signing-enabled"), QStringLiteral("false")};
    QTest::newRow("RSA exponent of 1, v2")
        << 24 << QStringLiteral("rsa") << v2Only << Change::ExponentOne << QByteArray()
        << QStringLiteral("v2") << failed + QStringLiteral("v2 RSA 公钥指数无效") << rsa;
    QTest::newRow("RSA exponent of 1, v3")
        << 28 << QStringLiteral("rsa") << v3Only << Change::ExponentOne << QByteArray()
        << QStringLiteral("v3") << failed + QStringLiteral("v3 RSA 公钥指数无效") << rsa;
    QTest::newRow("RSA exponent of 1, v1")
        << 18 << QStringLiteral("rsa") << v1Only << Change::JarExponentOne << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("v1 %1 的证书 RSA 公钥指数无效").arg(block) << QString();
    QTest::newRow("certificate's RSA key without NULL parameters")
        << 0 << QStringLiteral("nonull") << QStringList() << Change::None << QByteArray() << v1v2v3
        << QStringLiteral("通过") << rsa;
    QTest::newRow("signer's RSA key without NULL parameters, as its certificate's")
        << 24 << QStringLiteral("nonull") << v2Only << Change::KeyWithoutNull << QByteArray()
        << QStringLiteral("v2") << failed + QStringLiteral("v2 公钥与证书不符") << rsa;
    const QString unsupported =
        failed + QStringLiteral("v1 META-INF/RSA.RSA 的证书带有 Android API 1–%1 不支持的关键扩展 ")
                     .arg(ApiLevel::NewestKnown);
    QTest::newRow("critical proxyCertInfo")
        << 0 << QStringLiteral("proxy") << v1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("1.3.6.1.5.5.7.1.14")
        << QString();
    QTest::newRow("critical sbgp-ipAddrBlock")
        << 0 << QStringLiteral("ipblocks") << v1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("1.3.6.1.5.5.7.1.7")
        << QString();
    QTest::newRow("critical subjectKeyIdentifier")
        << 0 << QStringLiteral("keyid") << v1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("2.5.29.14") << QString();
    // The manifest read by resource id, as Android's parser and apksig read it; a minimum that
    // cannot be told fails the verdict, and apksigner refuses to judge it. apksigner signs those
    // only for a minimum it is told: the lowest, so that every platform takes the signatures.
    const QStringList fromLevel1 = {QStringLiteral("--min-sdk-version"), QStringLiteral("1")};
    QTest::newRow("minSdkVersion with a wrong resource id, v2 and v3")
        << 24 << QStringLiteral("rsa") << v2v3 << Change::MinSdkWrongId << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("Android 7.0 以下需要 v1 (JAR) 签名")
        << rsa;
    QTest::newRow("minSdkVersion a resource reference")
        << 0 << QStringLiteral("rsa") << fromLevel1 << Change::MinSdkReference << QByteArray()
        << v1v2v3 << failed + QStringLiteral("minSdkVersion 无法确定") << rsa;
    QTest::newRow("v1 only, targetSdkVersion a resource reference")
        << 0 << QStringLiteral("rsa") << v1Only << Change::TargetSdkReference << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("targetSdkVersion 无法确定，需要 v2 或 v3 签名") << rsa;
    QTest::newRow("v1 only, targetSandboxVersion a resource reference")
        << 0 << QStringLiteral("rsa") << v1Only << Change::SandboxReference << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << failed + QStringLiteral("targetSandboxVersion 无法确定，需要 v2 或 v3 签名") << rsa;
    QTest::newRow("manifest past the cap, no uses-sdk, v2 and v3")
        << 0 << QStringLiteral("rsa") << v2v3 << Change::ManifestPastCap << QByteArray()
        << QStringLiteral("v2, v3") << failed + QStringLiteral("AndroidManifest.xml 超过大小上限")
        << rsa;
    QTest::newRow("manifest that is no binary XML")
        << 0 << QStringLiteral("rsa") << fromLevel1 << Change::ManifestNotXml << QByteArray()
        << v1v2v3 << failed + QStringLiteral("AndroidManifest.xml 格式错误") << rsa;
}

void SignatureTest::matchesApksigner()
{
    QFETCH(int, minSdk);
    QFETCH(QString, key);
    QFETCH(QStringList, options);
    QFETCH(Change, change);
    QFETCH(QByteArray, block);
    QFETCH(QString, publicKey);

    QString path =
        buildPackage(QStringLiteral("sdk%1.apk").arg(minSdk), minSdk, ManifestContents(change));
    QVERIFY(!path.isEmpty());
    if (change == Change::ArchiveComment)
        QVERIFY(addComment(path));
    if (change == Change::Bomb || change == Change::BombNamedOften)
        QVERIFY(addBomb(path));
    if (change == Change::RepeatedSection)
        QVERIFY(addRepeatedSection(path));
    // v2 signs over the JAR files, so they go in first.
    if (change == Change::BerCertificate)
        QVERIFY(replaceJarFiles(path, change));
    // apksigner would drop JAR files it did not write and re-encode the certificate: that row
    // signs both schemes itself.
    if (!key.isEmpty() && change != Change::BerCertificate)
        path = sign(path, key, options);
    if (!block.isEmpty())
        path = splice(path, block);
    QVERIFY(!path.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    switch (change) {
    case Change::None:
    case Change::ArchiveComment:
        break;
    default:
        bytes = hostile(change, bytes);
        QVERIFY(!bytes.isEmpty());
        break;
    case Change::FlipEntryByte: {
        const qsizetype at = bytes.indexOf(payload.first(64));
        QVERIFY2(at >= 0, "classes.dex must be stored to be found");
        bytes[at + 100] = char(bytes[at + 100] ^ 1);
        break;
    }
    case Change::Truncate:
        bytes.truncate(bytes.size() / 2);
        break;
    case Change::DuplicateEntry:
        // The names appear in plain text only in the ZIP headers; the manifest is compressed.
        bytes.replace("classes.dey", "classes.dex");
        break;
    case Change::Zip64Marker:
        // No comment here either: the directory offset is the end record's field before last.
        qToLittleEndian(quint32(0xffffffff), bytes.data() + bytes.size() - 6);
        break;
    case Change::Realign:
        Run(QStringLiteral(SYSTEM_ZIPALIGN),
            {QStringLiteral("-f"), QStringLiteral("4"), path, path + QStringLiteral(".aligned")});
        path += QStringLiteral(".aligned");
        break;
    }
    QVERIFY(file.resize(bytes.size()) && file.seek(0) && file.write(bytes) == bytes.size());
    file.close();

    const SafeFile package(QFile::encodeName(path));
    const ZipArchive archive(package);
    const SignatureReport report = VerifyPackageSignatures(package, archive);
    const QList<LabelledValue> rows = DescribeSignatures(report);
    // A channel marker is read where a store's tool put it, and found nowhere else.
    const QHash<Change, QString> channels = {{Change::WalleMarker, QStringLiteral("华为应用市场")},
                                             {Change::VasDollyMarker, QStringLiteral("xiaomi")},
                                             {Change::CommentMarker, QStringLiteral("应用宝")}};
    QCOMPARE(ReadChannel(package, archive).value_or(QString()), channels.value(change));
    QMultiMap<QString, QString> shown;
    for (const LabelledValue &row : rows)
        shown.insert(row.label, row.value);
    QTEST(shown.value(QStringLiteral("签名方案")), "schemes");
    QTEST(shown.value(QStringLiteral("签名校验")), "verdict");

    // One read of the whole file, which feeds the file's own digests too, decides as the check's
    // own reads do: the content and entry digests on a second thread.
    {
        SignatureCheck check(package, archive);
        FileDigestSinks digests;
        QVERIFY(ReadOnce(package, {&digests.md5}, {&digests.sha256, &check}));
        QStringList fed, own;
        for (const LabelledValue &row : DescribeSignatures(check.finish()))
            fed.append(row.label + u'=' + row.value);
        for (const LabelledValue &row : rows)
            own.append(row.label + u'=' + row.value);
        QCOMPARE(fed, own);
    }

    // A reader of the whole file can feed the content digests along the way, in any pieces.
    const PackageLayout layout =
        archive.isOpen() ? ReadPackageLayout(package, archive.endRecord()) : PackageLayout();
    if (archive.isOpen() && !layout.error.failed()) {
        const QList<ContentDigestKind> kinds = {ContentDigestKind::ChunkedSha256,
                                                ContentDigestKind::ChunkedSha512,
                                                ContentDigestKind::VeritySha256};
        ContentDigester digester(layout, kinds);
        const QByteArray whole = ReadFile(path);
        for (qsizetype at = 0; at < whole.size(); at += 4097)
            digester.feed(at, whole.constData() + at, qMin<qsizetype>(4097, whole.size() - at));
        QVERIFY(digester.finish() == ComputeContentDigests(package, layout, kinds));
    }

    // Ground truth: apksigner on the same file.
    const QByteArray truth = Run(
        QStringLiteral(SYSTEM_APKSIGNER),
        {QStringLiteral("verify"), QStringLiteral("--print-certs"), QStringLiteral("-v"), path});
    // apksigner inflates whatever a package holds, where a deflate bomb is refused here, takes
    // any number of JAR signers, and (Debian's) knows no v3.1.
    const bool apksignerVerifies = truth.startsWith("Verifies\n");
    const bool apksignerJudges = !AndroidRuling(change, key);
    const bool verifies =
        AndroidRuling(change, key)
            .value_or(apksignerVerifies && change != Change::Bomb && change != Change::StripV31 &&
                      change != Change::ElevenSigners);
    QCOMPARE(shown.value(QStringLiteral("签名校验")) == QStringLiteral("通过"), verifies);
    // Each scheme apksigner verified is one we passed: "Verified using v2 scheme (...): true".
    const QStringList schemeLines =
        shown.value(QStringLiteral("各方案校验")).split(QLatin1Char('\n'));
    for (const QByteArray &line : truth.split('\n'))
        if (verifies && apksignerJudges && line.startsWith("Verified using v") &&
            line.mid(16, 1) <= "3")
            QCOMPARE(schemeLines.contains(QString::fromLatin1(line.mid(15, 2)) +
                                          QStringLiteral(": 通过")),
                     line.endsWith(": true"));

    // Schemes signed by different signers show each one's, under the scheme's name.
    const bool signersDiffer =
        shown.value(QStringLiteral("签名校验")).endsWith(QStringLiteral("各方案签名者不一致"));
    QStringList labelled;
    for (const char *scheme : {"v1", "v2", "v3"})
        labelled += shown.values(QStringLiteral("签名者 (%1)").arg(QLatin1String(scheme)));
    QCOMPARE(labelled.contains(keys[key].subject) &&
                 labelled.contains(keys[QStringLiteral("next")].subject),
             signersDiffer);

    // The certificate digests must be apksigner's, the first signer first.
    QStringList sha256, sha1, md5;
    for (const QByteArray &line : truth.split('\n')) {
        const QString value = QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
        if (line.contains("certificate SHA-256 digest:"))
            sha256.append(value);
        else if (line.contains("certificate SHA-1 digest:"))
            sha1.append(value);
        else if (line.contains("certificate MD5 digest:"))
            md5.append(value);
    }
    const auto plain = [](QStringList values) {
        for (QString &value : values)
            value = value.remove(QLatin1Char(':')).toLower();
        return values;
    };
    // apksigner names the signers the newest platform verifies with.
    QStringList newest;
    for (const SignerFacts &signer : report.newestPlatformSigners())
        newest.append(signer.certificate.sha256);
    if (verifies && apksignerVerifies && apksignerJudges)
        QCOMPARE(plain(newest), sha256);
    // Each v3 signer says which platforms it signs for.
    if (report.v3.state != SchemeState::Absent && report.signersByScheme.isEmpty())
        QCOMPARE(shown.values(QStringLiteral("适用平台")).size(), report.signers.size());
    if (verifies && apksignerVerifies && apksignerJudges &&
        newest.size() == report.signers.size()) {
        QCOMPARE(plain(shown.values(QStringLiteral("证书 SHA-256"))), sha256);
        QCOMPARE(plain(shown.values(QStringLiteral("证书 SHA-1"))), sha1);
        QCOMPARE(plain(shown.values(QStringLiteral("证书 MD5"))), md5);
        QCOMPARE(shown.values(QStringLiteral("签名 MD5")), md5);
        const KeyFacts &facts = keys[key];
        QCOMPARE(shown.value(QStringLiteral("主题")), facts.subject);
        QCOMPARE(shown.value(QStringLiteral("颁发者")), facts.subject);
        QCOMPARE(shown.value(QStringLiteral("序列号")), facts.serial);
        const QString former =
            key == QLatin1String("next") ? keys[QStringLiteral("rsa")].sha256 : QString();
        QCOMPARE(shown.value(QStringLiteral("轮换前证书 SHA-256")), former);
    }
    // A certificate that does not parse shows that in place of all its facts.
    QCOMPARE(shown.value(QStringLiteral("公钥"), shown.value(QStringLiteral("主题"))), publicKey);
}

QTEST_GUILESS_MAIN(SignatureTest)
#include "SignatureTest.moc"
