#pragma once

#include "SignatureReport.h"

#include <memory>

class ZipArchive;

struct JarVerification
{
    // Absent when the package has no JAR signature Android would look at: no signature block
    // in META-INF/ (*.RSA, *.DSA, *.EC) beside a signature file of the same name ending in .SF.
    SchemeResult result;
    // The signers Android takes: the ones that sign every entry (all signers found, while the
    // check fails), with each one's certificate as it stands in its signature block, in order.
    QList<SignerFacts> signers;
    QList<QByteArray> certificates;
};

// Checks the JAR signature (v1) as every Android version in [minSdk, maxSdk] checks it: the
// result is Verified only when each of them accepts it, with the rules of Android's signing
// library (apksig's V1SchemeVerifier). `v2Present` and `v3Present` say which signing block
// schemes the package carries, for the signature files' X-Android-APK-Signed attribute, which
// counts only when the range reaches 7.0 (v2) or 9 (v3). In short:
// - names are case-sensitive; a signature file without Signature-Version, or with a section
//   named twice or naming no manifest section, is ignored, and at least one must remain;
// - each signature block is checked against its signature file before the manifest is read
//   (see VerifyJarSignatureBlock for the PKCS #7 rules that depend on the range);
// - the manifest must name each section once, and only entries the archive holds;
// - a signature file's -Digest-Manifest-Main-Attributes and section digests must match; its
//   -Digest-Manifest, when it matches, vouches for the whole manifest;
// - every entry outside META-INF/ needs a manifest section whose digests match (which digests
//   count depends on the range, see DigestsToCheck), signed by the same signers as every other.
// The work is bounded: at most MaxSigners signers, MaxJarFileSize bytes per manifest or
// signature file, MaxJarSections sections and MaxJarAttributes attributes in each, each
// manifest section hashed once per algorithm, and the archive's own limit on inflated bytes.
//
// Everything but the entries' digests is read and checked when the check is made; the entries
// are then decoded from the file's bytes as a read of the whole file feeds them (feed), so that
// one read serves this check and every other digest, and finish() judges.
class JarSignatureCheck
{
public:
    JarSignatureCheck(const ZipArchive &archive, bool v2Present, bool v3Present, int minSdk,
                      int maxSdk);
    ~JarSignatureCheck();
    JarSignatureCheck(const JarSignatureCheck &) = delete;
    JarSignatureCheck &operator=(const JarSignatureCheck &) = delete;

    // Where the data of the entries it needs ends in the file; 0 when it needs none.
    qint64 dataNeeded() const;
    // `size` bytes of the file from `offset`; pieces come in file order without gaps, and the
    // entries it needs are decoded from them as they go by, one at a time.
    void feed(qint64 offset, const char *data, qint64 size);
    // The result; an entry whose data was not fed whole fails as unreadable.
    JarVerification finish();

private:
    struct State;
    std::unique_ptr<State> d;
};
