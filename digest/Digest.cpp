#include "Digest.h"

#include <openssl/evp.h>

const EVP_MD *EvpDigestOf(DigestAlgorithm algorithm)
{
    switch (algorithm) {
    case DigestAlgorithm::Md5:
        return EVP_md5();
    case DigestAlgorithm::Sha1:
        return EVP_sha1();
    case DigestAlgorithm::Sha224:
        return EVP_sha224();
    case DigestAlgorithm::Sha256:
        return EVP_sha256();
    case DigestAlgorithm::Sha384:
        return EVP_sha384();
    case DigestAlgorithm::Sha512:
        return EVP_sha512();
    }
    return nullptr;
}

Digest::Digest(DigestAlgorithm algorithm) : context(EVP_MD_CTX_new())
{
    const EVP_MD *md = EvpDigestOf(algorithm);
    if (context && (!md || EVP_DigestInit_ex(context, md, nullptr) != 1)) {
        EVP_MD_CTX_free(context);
        context = nullptr;
    }
}

Digest::~Digest()
{
    EVP_MD_CTX_free(context);
}

void Digest::update(const void *data, std::size_t size)
{
    if (context)
        EVP_DigestUpdate(context, data, size);
}

QByteArray Digest::finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context || EVP_DigestFinal_ex(context, digest, &length) != 1)
        return {};
    EVP_MD_CTX_free(context);
    context = nullptr;
    return QByteArray(reinterpret_cast<const char *>(digest), int(length));
}

QByteArray DigestOf(DigestAlgorithm algorithm, QByteArrayView bytes)
{
    Digest digest(algorithm);
    digest.update(bytes.data(), std::size_t(bytes.size()));
    return digest.finish();
}
