#pragma once

#include "SignatureReport.h"

#include <QByteArray>
#include <QByteArrayView>

struct JarBlockVerification
{
    // The certificate that signed, as it stands in the block (never re-encoded, so its digests
    // are Android's); empty when the block does not verify.
    QByteArray certificate;
    SchemeResult failure; // Absent when the block verifies
};

// Checks a JAR signature block (`blockName`: META-INF/*.RSA, *.DSA or *.EC, a PKCS #7
// SignedData) against its signature file as every Android version in [minSdk, maxSdk] checks
// it, with the rules of Android's signing library:
// - the digest and signature algorithms must be known to every version in the range;
// - versions before 7.0 take the first SignerInfo only, later ones the first that verifies;
//   so when the range starts before 7.0 only the first is tried, and it must satisfy both;
// - signed attributes are refused below 4.4, where they were checked unsoundly; from 7.0 on
//   they need a content type equal to the signed content's type; at every version they need
//   exactly one message digest, of the signature file, and no attribute given twice; the
//   signature covers them as they stand, re-tagged as a SET, not re-encoded;
// - the signing certificate is the one the SignerInfo names by issuer and serial; it must carry
//   no critical extension that a version in the range does not support, allow signatures (key
//   usage) and hold a key that Android's BoringSSL takes (KeyRefusal).
// A SignerInfo whose signature or digest does not match merely does not verify; anything
// Android throws on fails the whole block.
JarBlockVerification VerifyJarSignatureBlock(QByteArrayView signatureFile, QByteArrayView block,
                                             const QString &blockName, int minSdk, int maxSdk);
