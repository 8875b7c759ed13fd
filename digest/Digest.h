#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>

struct evp_md_ctx_st;
struct evp_md_st;

enum class DigestAlgorithm
{
    Md5,
    Sha1,
    Sha224,
    Sha256,
    Sha384,
    Sha512
};

// OpenSSL's EVP_MD for `algorithm`.
const evp_md_st *EvpDigestOf(DigestAlgorithm algorithm);

// An incremental digest over OpenSSL's EVP interface.
class Digest
{
public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(const Digest &) = delete;
    Digest &operator=(const Digest &) = delete;

    void update(const void *data, std::size_t size);
    // The digest of everything fed so far; empty when this OpenSSL does not offer the algorithm
    // (MD5 under a FIPS-only configuration, for one). Either finish ends the digest.
    QByteArray finish();
    // The same as lower-case hexadecimal digits.
    QByteArray finishHex() { return finish().toHex(); }

private:
    evp_md_ctx_st *context;
};

// The digest of `bytes` in one call; empty when this OpenSSL does not offer the algorithm.
QByteArray DigestOf(DigestAlgorithm algorithm, QByteArrayView bytes);
