#pragma once

#include "SignatureReport.h"

class ZipArchive;

struct JarVerification
{
    SchemeResult result;
    QList<SignerFacts> signers;
};

// Checks the JAR signatures (v1): each META-INF/*.SF that has its *.RSA, *.DSA or *.EC, the
// manifest, and every entry's bytes against it. `v2Present` and `v3Present` say which signing
// block schemes the package carries, for the signature files' anti-stripping attribute.
JarVerification VerifyJarSignatures(const ZipArchive &archive, bool v2Present, bool v3Present);
