#pragma once

#include "SignatureReport.h"

class ZipArchive;

struct JarVerification
{
    SchemeResult result;
    QList<SignerFacts> signers;
    QList<QByteArray> certificates; // each signer's, DER, in the same order
};

// Checks the JAR signatures (v1): each META-INF/*.SF that has its *.RSA, *.DSA or *.EC, the
// manifest, and every entry's bytes against it. `v2Present` and `v3Present` say which signing
// block schemes the package carries, for the signature files' anti-stripping attribute. Verified
// only when every API level from `minSdk` through `maxSdk` accepts the JAR signature. The
// work is bounded: at most MaxSigners signers, each manifest section hashed once however many
// signature-file sections name it, and the archive's own limit on inflated bytes.
JarVerification VerifyJarSignatures(const ZipArchive &archive, bool v2Present, bool v3Present,
                                    int minSdk, int maxSdk);
