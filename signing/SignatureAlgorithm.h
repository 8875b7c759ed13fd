#pragma once

#include "ContentDigest.h"
#include "base/Failure.h"
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

// Why Android would not verify anything with `key`, or empty: an RSA key that its BoringSSL's
// public key check refuses. That check bounds the work a signature costs (a modulus of at most
// 16,384 bits, an exponent of at most 33) and refuses keys that verify what no private key
// signed: an exponent of 1 makes the padded digest itself a valid signature. Its modulus must
// also be odd, of at least 512 bits (as Java's RSA keys too), so larger than any exponent
// allowed, and its exponent odd and at least 3.
Failure KeyRefusal(EVP_PKEY *key);

// Whether `signature` over `data` verifies with `key` under `algorithm`; false too when the key
// is of another kind than the algorithm expects.
bool VerifySignature(EVP_PKEY *key, const SignatureAlgorithm &algorithm, QByteArrayView data,
                     QByteArrayView signature);
