#pragma once

#include "ContentDigest.h"
#include "digest/Digest.h"

#include <QByteArrayView>
#include <QString>
#include <openssl/evp.h>

// A signature algorithm of signature schemes v2 and v3, by its id in the signing block.
struct SignatureAlgorithm
{
    quint32 id;
    DigestAlgorithm digest;    // what the signature over the signed data is made with
    ContentDigestKind content; // what the signer vouches for about the package
    int keyType;               // EVP_PKEY_RSA, EVP_PKEY_EC or EVP_PKEY_DSA
    int pssSaltLength;         // 0: PKCS #1 v1.5 (or not RSA)
    int minSdk;                // the first Android version that verifies it
};

// Null for ids this program does not know.
const SignatureAlgorithm *FindSignatureAlgorithm(quint32 id);

// Whether Android prefers `a` to `b` where a platform knows both: SHA-512 chunks over verity,
// verity over SHA-256 chunks.
bool Stronger(const SignatureAlgorithm &a, const SignatureAlgorithm &b);

// Why Android would not use `key` to verify anything, or empty: an RSA modulus or public
// exponent past what its BoringSSL accepts, which also bounds the work a signature costs.
QString KeyBeyondLimits(EVP_PKEY *key);

// Whether `signature` over `data` verifies with `key` under `algorithm`; false too when the key
// is of another kind than the algorithm expects.
bool VerifySignature(EVP_PKEY *key, const SignatureAlgorithm &algorithm, QByteArrayView data,
                     QByteArrayView signature);
