#pragma once

#include "ContentDigest.h"
#include "SignatureReport.h"
#include "SigningBlock.h"

// A content digest that a verified signature vouches for, to be compared with the package's.
struct SignedContentDigest
{
    ContentDigestKind kind;
    QByteArray expected;
};

struct SchemeVerification
{
    SchemeResult result;
    QList<SignedContentDigest> contentDigests; // only when the signers checked out
};

// Checks every signer of a v2, v3 or v3.1 scheme in all but the package's content: the key
// against the first certificate, the signatures over the signed data that Android verifies, the
// digest list against the signature list, and for v3 the SDK range and the rotation lineage. A
// v2 signer's signatures are those the platforms from `minSdk` (24 at the least) through the
// newest verify; a v3 signer's those of the platforms it is for. Every digest listed for an
// algorithm that was verified is returned, and the signers check out only when all of them
// match the package.
SchemeVerification VerifySchemeSigners(const SchemeBlock &scheme, bool v3, int minSdk);

// The facts of each signer's first certificate and of the ones it rotated away from, and for
// v3 the platforms it signs for.
QList<SignerFacts> SchemeSignerFacts(const SchemeBlock &scheme, bool v3);
