#include "HostilePackages.h"
#include "JarSignatureFiles.h"
#include "LittleEndian.h"
#include "SignedPackages.h"
#include "signing/ApiLevels.h"
#include "signing/OpenSslHandles.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>
#include <openssl/bn.h>
#include <openssl/core_names.h>

// Keys and certificates as Android reads them in every scheme: RSA public exponents and
// moduli, keys and certificates encoded otherwise than DER's shortest form or than OpenSSL
// writes them, certificates that do not parse, and critical extensions, held against apksigner.

namespace {

enum class Change
{
    None,
    HugeExponent,   // signed with a key whose RSA public exponent has 3,000 bits
    ExponentOne,    // the v2 and v3 signers replaced by unkeyed ones (see CraftUnkeyedSigner)
    JarExponentOne, // JAR files signed the same way
    KeyWithoutNull, // the v2 signer's key written without NULL parameters, as its certificate's
    BerCertificate, // signed (v1, then v2) with a certificate whose length is not DER
};

// A v2 signer that is well formed all through but whose certificate is not DER.
QByteArray SignerWithBrokenCertificate()
{
    const QByteArray digest =
        LengthPrefixed(Bytes<quint32>(0x0103) + LengthPrefixed(QByteArray(32, 'd')));
    const QByteArray signedData = LengthPrefixed(digest) +
                                  LengthPrefixed(LengthPrefixed("not a certificate")) +
                                  LengthPrefixed({});
    const QByteArray signature =
        LengthPrefixed(Bytes<quint32>(0x0103) + LengthPrefixed(QByteArray(256, 's')));
    return LengthPrefixed(LengthPrefixed(signedData) + LengthPrefixed(signature) +
                          LengthPrefixed("not a key"));
}

// `der` with its outer length written in one octet more than DER allows, as a few real
// certificates were written.
QByteArray BerCertificate(const QByteArray &der)
{
    return der.size() > 4 && der[1] == char(0x82) ? QByteArray("\x30\x83\x00", 3) + der.sliced(2)
                                                  : QByteArray();
}

// The v2 content digest (chunked SHA-256) of a package without a signing block or comment,
// which is the same once a block is put before its central directory.
QByteArray ChunkedSha256(const QByteArray &package)
{
    const qsizetype end = package.size() - 22;
    const qsizetype directory = Get<quint32>(package, end + 16);
    const QByteArrayView sections[] = {QByteArrayView(package).first(directory),
                                       QByteArrayView(package).sliced(directory, end - directory),
                                       QByteArrayView(package).sliced(end)};
    QByteArray chunks;
    quint32 count = 0;
    for (const QByteArrayView section : sections) {
        for (qsizetype at = 0; at < section.size(); at += 1 << 20, ++count) {
            const QByteArrayView piece =
                section.sliced(at, qMin<qsizetype>(1 << 20, section.size() - at));
            chunks += QCryptographicHash::hash(
                QByteArray(1, char(0xa5)) + Bytes(quint32(piece.size())) + piece.toByteArray(),
                QCryptographicHash::Sha256);
        }
    }
    return QCryptographicHash::hash(QByteArray(1, char(0x5a)) + Bytes(count) + chunks,
                                    QCryptographicHash::Sha256);
}

// The package with `block` put before its central directory (no comment).
QByteArray WithSigningBlock(QByteArray package, const QByteArray &block)
{
    const quint32 directory = Get<quint32>(package, package.size() - 6);
    package.insert(directory, block);
    Put(package, package.size() - 6, quint32(directory + block.size()));
    return package;
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

// Where Debian's apksigner cannot judge as Android does, apksig's own rule: it takes RSA public
// exponents over 33 bits, which Android's BoringSSL refuses. A critical subjectKeyIdentifier in
// a JAR signer's certificate is supported by Java's certificates, which apksigner reads it with,
// and by none of Android's (Conscrypt's asks BoringSSL, whose list lacks it).
Ruling AndroidRuling(Change change, const QString &key)
{
    if (key == QLatin1String("keyid") || change == Change::HugeExponent)
        return {.android = false};
    return {};
}

} // namespace

class SigningKeyTest : public SignatureRulesTest
{
    Q_OBJECT

    void addKeys() override;
    void addRows() override;
    void checkRow() override;

    Alteration alteration(Change change) const;
    QByteArray hostile(Change change, const QByteArray &bytes) const;
    bool replaceJarFiles(const QString &package, const QByteArray &certificate,
                         const std::function<QByteArray(const QByteArray &)> &sign) const;

    QByteArray exponentOne; // the rsa key's certificate with the public exponent 1
};

void SigningKeyTest::addKeys()
{
    const QStringList rsa2048 = {QStringLiteral("-newkey"), QStringLiteral("rsa:2048")};
    // A certificate whose modulus reads as a negative number, as some old signing tools wrote.
    QVERIFY(packages.addKey(QStringLiteral("negative"), rsa2048));
    const KeyFacts negative = packages.key(QStringLiteral("negative"));
    QVERIFY(packages.addCertificate(
        QStringLiteral("negative"),
        WithNegativeModulus(CertificateDer(negative.certificate), negative.key), negative.key));
    // An odd public exponent of 3,000 bits.
    QRandomGenerator random(7);
    QByteArray exponent(376, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(exponent.data()), 94);
    exponent.chop(1);
    exponent[0] = char(exponent[0] | 0x80);
    exponent[374] = char(exponent[374] | 1);
    QVERIFY(packages.addKey(
        QStringLiteral("huge"),
        {QStringLiteral("-newkey"), QStringLiteral("rsa:3072"), QStringLiteral("-pkeyopt"),
         QStringLiteral("rsa_keygen_pubexp:0x") + QString::fromLatin1(exponent.toHex())}));
    // The rsa key's certificate changed where Android reads otherwise than OpenSSL: its key
    // without NULL parameters, or with the public exponent 1; one critical extension.
    const QString rsaKey = packages.key(QStringLiteral("rsa")).key;
    const QByteArray rsaDer = CertificateDer(packages.key(QStringLiteral("rsa")).certificate);
    QVERIFY(packages.addCertificate(
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
        QVERIFY(packages.addCertificate(extensionKeys[i],
                                        Changed(rsaDer, rsaKey,
                                                [&](X509 *certificate) {
                                                    return SetOnlyCriticalExtension(certificate,
                                                                                    oid, value);
                                                }),
                                        rsaKey));
    }
}

// Replaces the JAR signature files of `package` with ones by `certificate`, signed by `sign`.
bool SigningKeyTest::replaceJarFiles(
    const QString &package, const QByteArray &certificate,
    const std::function<QByteArray(const QByteArray &)> &sign) const
{
    return packages.replaceJarFiles(package, [&](const QString &folder) {
        return WriteJarFiles(package, folder, {.signers = {{certificate, sign}}});
    });
}

QByteArray SigningKeyTest::hostile(Change change, const QByteArray &bytes) const
{
    switch (change) {
    case Change::ExponentOne:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            if (id != V2PairId && id != V3PairId)
                return BlockPair(id, value);
            return BlockPair(id, SchemeValue({CraftUnkeyedSigner(
                                     FirstSignerParts(value, id == V3PairId), exponentOne)}));
        });
    case Change::JarExponentOne:
        return packages.changedAsFile(bytes, [this](const QString &path) {
            // The rsa key's modulus of 2,048 bits, taken with the exponent 1.
            return replaceJarFiles(path, exponentOne, [](const QByteArray &data) {
                return UnkeyedSignature(data, 2048 / 8);
            });
        });
    case Change::KeyWithoutNull:
        return WithBlockPairs(bytes, [this](quint32 id, const QByteArray &value) {
            if (id != V2PairId)
                return BlockPair(id, value);
            const KeyFacts nonull = packages.key(QStringLiteral("nonull"));
            const QByteArray certificate = CertificateDer(nonull.certificate);
            const X509Handle x509 = ParseCertificate(certificate);
            SignerParts parts = FirstSignerParts(value, false);
            parts.publicKey = EncodeDer(X509_get_X509_PUBKEY(x509.get()), i2d_X509_PUBKEY);
            return BlockPair(id, SchemeValue({CraftSigner(parts, nonull.key, certificate)}));
        });
    case Change::BerCertificate: {
        // A v2 signature over the JAR-signed package, by the same certificate as it stands.
        const KeyFacts rsa = packages.key(QStringLiteral("rsa"));
        constexpr quint32 RsaPkcs1Sha256 = 0x0103;
        SignerParts parts;
        parts.digests =
            LengthPrefixed(Bytes(RsaPkcs1Sha256) + LengthPrefixed(ChunkedSha256(bytes)));
        const QByteArray certificate = BerCertificate(CertificateDer(rsa.certificate));
        return WithSigningBlock(
            bytes,
            Block(BlockPair(V2PairId, SchemeValue({CraftSigner(parts, rsa.key, certificate)}))));
    }
    default:
        return bytes;
    }
}

Alteration SigningKeyTest::alteration(Change change) const
{
    if (change == Change::None || change == Change::HugeExponent)
        return {};
    Alteration alteration =
        AfterSigning([this, change](const QByteArray &bytes) { return hostile(change, bytes); });
    // v2 signs over the JAR files, so they go in first; apksigner would drop JAR files it did
    // not write and re-encode the certificate: that row signs both schemes itself.
    if (change == Change::BerCertificate) {
        alteration.beforeSigning = [this](const QString &path) {
            const KeyFacts rsa = packages.key(QStringLiteral("rsa"));
            return replaceJarFiles(path, BerCertificate(CertificateDer(rsa.certificate)),
                                   SignerWithKey(rsa.key, rsa.certificate).sign);
        };
        alteration.signedBefore = true;
    }
    return alteration;
}

void SigningKeyTest::addRows()
{
    AddSignedPackageColumns<Change>();

    QTest::newRow("negative RSA modulus in the certificate")
        << 24 << QStringLiteral("negative") << V2V3 << Change::None << QByteArray()
        << QStringLiteral("v2, v3") << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("RSA exponent of 3,000 bits")
        << 24 << QStringLiteral("huge") << V2V3 << Change::HugeExponent << QByteArray()
        << QStringLiteral("v2, v3") << Failed + QStringLiteral("v2 RSA 公钥指数超过上限")
        << QStringLiteral("RSA 3072 位");
    QTest::newRow("certificate not DER")
        << 0 << QString() << QStringList() << Change::None << V2Block(SignerWithBrokenCertificate())
        << QStringLiteral("v2") << Failed + QStringLiteral("证书无法解析")
        << QStringLiteral("证书无法解析");
    QTest::newRow("BER-encoded certificate, v1 and v2")
        << 18 << QStringLiteral("rsa") << QStringList() << Change::BerCertificate << QByteArray()
        << QStringLiteral("v1 (JAR), v2") << QStringLiteral("通过") << Rsa2048;

    // A "signature" that is the padded digest under a public exponent of 1, in each scheme that
    // decides; an RSA key without NULL parameters in the certificate, then in the signer's key
    // too; critical extensions.
    const QString block = QStringLiteral("META-INF/CERT.RSA");
    QTest::newRow("RSA exponent of 1, v2")
        << 24 << QStringLiteral("rsa") << V2Only << Change::ExponentOne << QByteArray()
        << QStringLiteral("v2") << Failed + QStringLiteral("v2 RSA 公钥指数无效") << Rsa2048;
    QTest::newRow("RSA exponent of 1, v3")
        << 28 << QStringLiteral("rsa") << V3Only << Change::ExponentOne << QByteArray()
        << QStringLiteral("v3") << Failed + QStringLiteral("v3 RSA 公钥指数无效") << Rsa2048;
    QTest::newRow("RSA exponent of 1, v1")
        << 18 << QStringLiteral("rsa") << V1Only << Change::JarExponentOne << QByteArray()
        << QStringLiteral("v1 (JAR)")
        << Failed + QStringLiteral("v1 %1 的证书 RSA 公钥指数无效").arg(block) << QString();
    QTest::newRow("certificate's RSA key without NULL parameters")
        << 0 << QStringLiteral("nonull") << QStringList() << Change::None << QByteArray()
        << AllSchemes << QStringLiteral("通过") << Rsa2048;
    QTest::newRow("signer's RSA key without NULL parameters, as its certificate's")
        << 24 << QStringLiteral("nonull") << V2Only << Change::KeyWithoutNull << QByteArray()
        << QStringLiteral("v2") << Failed + QStringLiteral("v2 公钥与证书不符") << Rsa2048;
    const QString unsupported =
        Failed + QStringLiteral("v1 META-INF/RSA.RSA 的证书带有 Android API 1–%1 不支持的关键扩展 ")
                     .arg(ApiLevel::NewestKnown);
    QTest::newRow("critical proxyCertInfo")
        << 0 << QStringLiteral("proxy") << V1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("1.3.6.1.5.5.7.1.14")
        << QString();
    QTest::newRow("critical sbgp-ipAddrBlock")
        << 0 << QStringLiteral("ipblocks") << V1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("1.3.6.1.5.5.7.1.7")
        << QString();
    QTest::newRow("critical subjectKeyIdentifier")
        << 0 << QStringLiteral("keyid") << V1Only << Change::None << QByteArray()
        << QStringLiteral("v1 (JAR)") << unsupported + QStringLiteral("2.5.29.14") << QString();
}

void SigningKeyTest::checkRow()
{
    MatchesApksigner<Change>(
        packages, [this](Change change) { return alteration(change); }, AndroidRuling);
}

QTEST_GUILESS_MAIN(SigningKeyTest)
#include "SigningKeyTest.moc"
