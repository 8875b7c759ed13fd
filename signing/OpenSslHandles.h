#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

// Owning handles for the OpenSSL objects the signature checks create.
struct OpenSslFree
{
    void operator()(X509 *p) const { X509_free(p); }
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
    void operator()(EVP_MD_CTX *p) const { EVP_MD_CTX_free(p); }
    void operator()(PKCS7 *p) const { PKCS7_free(p); }
    void operator()(BIO *p) const { BIO_free(p); }
    void operator()(X509_NAME *p) const { X509_NAME_free(p); }
    void operator()(ASN1_INTEGER *p) const { ASN1_INTEGER_free(p); }
};

using X509Handle = std::unique_ptr<X509, OpenSslFree>;
using KeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree>;

// The certificate in `der`; null unless the bytes are exactly one DER certificate.
inline X509Handle ParseCertificate(QByteArrayView der)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(der.data());
    X509Handle certificate(d2i_X509(nullptr, &bytes, long(der.size())));
    if (certificate && bytes != reinterpret_cast<const unsigned char *>(der.data()) + der.size())
        certificate.reset();
    return certificate;
}

// The DER encoding of `object` through OpenSSL's i2d function for its type; empty on failure.
template <typename T>
QByteArray EncodeDer(const T *object, int (*encode)(const T *, unsigned char **))
{
    unsigned char *der = nullptr;
    const int size = encode(object, &der);
    QByteArray bytes = size > 0 ? QByteArray(reinterpret_cast<char *>(der), size) : QByteArray();
    OPENSSL_free(der);
    return bytes;
}
