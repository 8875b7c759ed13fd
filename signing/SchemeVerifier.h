#pragma once

#include "SignatureReport.h"
#include "SigningBlock.h"
#include "digest/Digest.h"

// A content digest that a verified signature vouches for, to be compared with the package's.
struct SignedContentDigest
{
    DigestAlgorithm algorithm;
    QByteArray expected;
};

struct SchemeVerification
{
    SchemeResult result;
    QList<SignedContentDigest> contentDigests; // only when the signers checked out
};

// Checks every signer of a v2 or v3 scheme in all but the package's content: the signature
// over the signed data, the key against the first certificate, the digest list against the
// signature list, and for v3 the SDK range and the rotation lineage. A signer checks out only
// when the content digests returned match the package.
SchemeVerification VerifySchemeSigners(const SchemeBlock &scheme, bool v3);

// The facts of each signer's first certificate and of the ones it rotated away from.
QList<SignerFacts> SchemeSignerFacts(const SchemeBlock &scheme);
