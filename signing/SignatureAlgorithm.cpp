#include "SignatureAlgorithm.h"

#include "OpenSslHandles.h"

#include <openssl/rsa.h>

namespace {

constexpr SignatureAlgorithm Algorithms[] = {
    {0x0101, DigestAlgorithm::Sha256, EVP_PKEY_RSA, 32},
    {0x0102, DigestAlgorithm::Sha512, EVP_PKEY_RSA, 64},
    {0x0103, DigestAlgorithm::Sha256, EVP_PKEY_RSA, 0},
    {0x0104, DigestAlgorithm::Sha512, EVP_PKEY_RSA, 0},
    {0x0201, DigestAlgorithm::Sha256, EVP_PKEY_EC, 0},
    {0x0202, DigestAlgorithm::Sha512, EVP_PKEY_EC, 0},
    {0x0301, DigestAlgorithm::Sha256, EVP_PKEY_DSA, 0},
};

} // namespace

const SignatureAlgorithm *FindSignatureAlgorithm(quint32 id)
{
    for (const SignatureAlgorithm &algorithm : Algorithms)
        if (algorithm.id == id)
            return &algorithm;
    return nullptr;
}

bool VerifySignature(EVP_PKEY *key, const SignatureAlgorithm &algorithm, QByteArrayView data,
                     QByteArrayView signature)
{
    if (!key || EVP_PKEY_get_base_id(key) != algorithm.keyType)
        return false;
    std::unique_ptr<EVP_MD_CTX, OpenSslFree> context(EVP_MD_CTX_new());
    EVP_PKEY_CTX *keyContext = nullptr;
    const EVP_MD *md = EvpDigestOf(algorithm.digest);
    if (!context || EVP_DigestVerifyInit(context.get(), &keyContext, md, nullptr, key) != 1)
        return false;
    if (algorithm.pssSaltLength > 0 &&
        (EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PSS_PADDING) != 1 ||
         EVP_PKEY_CTX_set_rsa_mgf1_md(keyContext, md) != 1 ||
         EVP_PKEY_CTX_set_rsa_pss_saltlen(keyContext, algorithm.pssSaltLength) != 1))
        return false;
    return EVP_DigestVerify(
               context.get(), reinterpret_cast<const unsigned char *>(signature.data()),
               std::size_t(signature.size()), reinterpret_cast<const unsigned char *>(data.data()),
               std::size_t(data.size())) == 1;
}
