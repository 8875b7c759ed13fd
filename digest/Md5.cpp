#include "Md5.h"

#include <new>
#include <openssl/evp.h>

Md5::Md5() : context(EVP_MD_CTX_new())
{
    if (!context || EVP_DigestInit_ex(context, EVP_md5(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        throw std::bad_alloc();
    }
}

Md5::~Md5()
{
    EVP_MD_CTX_free(context);
}

void Md5::update(const void *data, std::size_t size)
{
    EVP_DigestUpdate(context, data, size);
}

QByteArray Md5::finishHex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    return QByteArray(reinterpret_cast<const char *>(digest), length).toHex();
}
