#include "CertificateFacts.h"

#include "OpenSslHandles.h"
#include "digest/Digest.h"

#include <QDateTime>
#include <openssl/bn.h>
#include <openssl/objects.h>

namespace {

// RFC 2253 order and escaping, but UTF-8 left as it is so that Chinese names stay readable.
QString NameText(const X509_NAME *name)
{
    std::unique_ptr<BIO, OpenSslFree> out(BIO_new(BIO_s_mem()));
    if (!out || X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return {};
    char *data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return QString::fromUtf8(data, qsizetype(size));
}

QString SerialText(const ASN1_INTEGER *serial)
{
    BIGNUM *number = ASN1_INTEGER_to_BN(serial, nullptr);
    char *hex = number ? BN_bn2hex(number) : nullptr;
    const QString text = hex ? QString::fromLatin1(hex) : QString();
    OPENSSL_free(hex);
    BN_free(number);
    return text;
}

QDateTime Moment(const ASN1_TIME *time)
{
    struct tm parts = {};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

QString KeyAlgorithmName(const EVP_PKEY *key)
{
    switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
    case EVP_PKEY_RSA_PSS:
        return QStringLiteral("RSA");
    case EVP_PKEY_EC:
        return QStringLiteral("EC");
    case EVP_PKEY_DSA:
        return QStringLiteral("DSA");
    default:
        return QString::fromLatin1(OBJ_nid2sn(EVP_PKEY_get_base_id(key)));
    }
}

} // namespace

QString ColonHex(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

QString PlainHex(const QString &colonHex)
{
    return QString(colonHex).remove(u':').toLower();
}

CertificateFacts ReadCertificateFacts(QByteArrayView der)
{
    CertificateFacts facts;
    const X509Handle certificate = ParseCertificate(der);
    if (!certificate)
        return facts;
    facts.parsed = true;
    facts.subject = NameText(X509_get_subject_name(certificate.get()));
    facts.issuer = NameText(X509_get_issuer_name(certificate.get()));
    facts.serial = SerialText(X509_get0_serialNumber(certificate.get()));
    facts.notBefore = Moment(X509_get0_notBefore(certificate.get()));
    facts.notAfter = Moment(X509_get0_notAfter(certificate.get()));
    if (const EVP_PKEY *key = X509_get0_pubkey(certificate.get())) {
        facts.keyAlgorithm = KeyAlgorithmName(key);
        facts.keyBits = EVP_PKEY_get_bits(key);
    }
    const QByteArray md5 = DigestOf(DigestAlgorithm::Md5, der);
    facts.md5 = ColonHex(md5);
    facts.sha1 = ColonHex(DigestOf(DigestAlgorithm::Sha1, der));
    facts.sha256 = ColonHex(DigestOf(DigestAlgorithm::Sha256, der));
    facts.signatureMd5 = QString::fromLatin1(md5.toHex());
    return facts;
}
