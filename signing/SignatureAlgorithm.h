#pragma once

#include "digest/Digest.h"

#include <QByteArrayView>
#include <openssl/evp.h>

// A signature algorithm of signature schemes v2 and v3, by its id in the signing block.
struct SignatureAlgorithm
{
    quint32 id;
    DigestAlgorithm digest; // also the content digest it signs
    int keyType;            // EVP_PKEY_RSA, EVP_PKEY_EC or EVP_PKEY_DSA
    int pssSaltLength;      // 0: PKCS #1 v1.5 (or not RSA)
};

// Null for ids this program does not check (the verity ones, unknown ones).
const SignatureAlgorithm *FindSignatureAlgorithm(quint32 id);

// Whether `signature` over `data` verifies with `key` under `algorithm`; false too when the key
// is of another kind than the algorithm expects.
bool VerifySignature(EVP_PKEY *key, const SignatureAlgorithm &algorithm, QByteArrayView data,
                     QByteArrayView signature);
