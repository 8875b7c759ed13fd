#include "Md5.h"

#include <openssl/evp.h>

Md5::Md5() : context(EVP_MD_CTX_new())
{
    // MD5 can be missing, as under a FIPS-only configuration: then there is simply no digest.
    if (context && EVP_DigestInit_ex(context, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        context = nullptr;
    }
}

Md5::~Md5()
{
    EVP_MD_CTX_free(context);
}

void Md5::update(const void *data, std::size_t size)
{
    if (context)
        EVP_DigestUpdate(context, data, size);
}

QByteArray Md5::finishHex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!context || EVP_DigestFinal_ex(context, digest, &length) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(digest), length).toHex();
}
