#include "SignatureAlgorithm.h"

#include "ApiLevels.h"
#include "OpenSslHandles.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/rsa.h>

namespace {

using ApiLevel::Nougat;
using ApiLevel::Pie;
using Kind = ContentDigestKind;

constexpr SignatureAlgorithm Algorithms[] = {
    {0x0101, DigestAlgorithm::Sha256, Kind::ChunkedSha256, EVP_PKEY_RSA, 32, Nougat},
    {0x0102, DigestAlgorithm::Sha512, Kind::ChunkedSha512, EVP_PKEY_RSA, 64, Nougat},
    {0x0103, DigestAlgorithm::Sha256, Kind::ChunkedSha256, EVP_PKEY_RSA, 0, Nougat},
    {0x0104, DigestAlgorithm::Sha512, Kind::ChunkedSha512, EVP_PKEY_RSA, 0, Nougat},
    {0x0201, DigestAlgorithm::Sha256, Kind::ChunkedSha256, EVP_PKEY_EC, 0, Nougat},
    {0x0202, DigestAlgorithm::Sha512, Kind::ChunkedSha512, EVP_PKEY_EC, 0, Nougat},
    {0x0301, DigestAlgorithm::Sha256, Kind::ChunkedSha256, EVP_PKEY_DSA, 0, Nougat},
    {0x0421, DigestAlgorithm::Sha256, Kind::VeritySha256, EVP_PKEY_RSA, 0, Pie},
    {0x0423, DigestAlgorithm::Sha256, Kind::VeritySha256, EVP_PKEY_EC, 0, Pie},
    {0x0425, DigestAlgorithm::Sha256, Kind::VeritySha256, EVP_PKEY_DSA, 0, Pie},
};

// BoringSSL's limits, which Android's Conscrypt verifies with.
constexpr int MaxRsaModulusBits = 16384;
constexpr int MinRsaModulusBits = 512;
constexpr int MaxRsaExponentBits = 33;

int Preference(ContentDigestKind kind)
{
    switch (kind) {
    case ContentDigestKind::ChunkedSha256:
        return 0;
    case ContentDigestKind::VeritySha256:
        return 1;
    case ContentDigestKind::ChunkedSha512:
        break;
    }
    return 2;
}

} // namespace

const SignatureAlgorithm *FindSignatureAlgorithm(quint32 id)
{
    for (const SignatureAlgorithm &algorithm : Algorithms)
        if (algorithm.id == id)
            return &algorithm;
    return nullptr;
}

bool Stronger(const SignatureAlgorithm &a, const SignatureAlgorithm &b)
{
    return Preference(a.content) > Preference(b.content);
}

Failure KeyRefusal(EVP_PKEY *key)
{
    const int type = EVP_PKEY_get_base_id(key);
    if (type != EVP_PKEY_RSA && type != EVP_PKEY_RSA_PSS)
        return {};
    BIGNUM *modulus = nullptr;
    BIGNUM *exponent = nullptr;
    Failure refusal;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &modulus) != 1 ||
        EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) != 1)
        refusal = {FailureCode::RsaKeyUnreadable};
    else if (BN_num_bits(modulus) > MaxRsaModulusBits)
        refusal = {FailureCode::RsaKeyTooLong};
    else if (BN_num_bits(modulus) < MinRsaModulusBits)
        refusal = {FailureCode::RsaKeyTooShort};
    else if (!BN_is_odd(modulus))
        refusal = {FailureCode::RsaModulusInvalid};
    else if (BN_num_bits(exponent) > MaxRsaExponentBits)
        refusal = {FailureCode::RsaExponentTooLarge};
    else if (!BN_is_odd(exponent) || BN_is_one(exponent))
        refusal = {FailureCode::RsaExponentInvalid};
    BN_free(modulus);
    BN_free(exponent);
    return refusal;
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
