#pragma once

#include <QByteArray>
#include <cstddef>

struct evp_md_ctx_st;

// An incremental MD5 over OpenSSL's EVP interface.
class Md5
{
public:
    Md5();
    ~Md5();
    Md5(const Md5 &) = delete;
    Md5 &operator=(const Md5 &) = delete;

    void update(const void *data, std::size_t size);
    // The digest of everything fed so far, as 32 lower-case hexadecimal digits; empty when
    // this OpenSSL offers no MD5.
    QByteArray finishHex();

private:
    evp_md_ctx_st *context;
};
