#include "VerifyPackageSignatures.h"

#include "AndroidVersions.h"
#include "ContentDigest.h"
#include "JarVerifier.h"
#include "PackageLayout.h"
#include "SchemeVerifier.h"
#include "SignerConsistency.h"
#include "SigningBlock.h"
#include "archive/ZipArchive.h"
#include "bundle/ApkManifest.h"
#include "digest/SafeFile.h"

#include <openssl/err.h>

namespace {

// Compares the content digests the signers of one scheme vouch for with the package's.
void CheckContent(SchemeVerification &scheme, const QMap<DigestAlgorithm, QByteArray> &actual)
{
    for (const SignedContentDigest &digest : scheme.contentDigests) {
        if (!actual.contains(digest.algorithm)) {
            scheme.result = SchemeResult::failed(QStringLiteral("无法读取文件"), true);
            return;
        }
        if (actual.value(digest.algorithm) != digest.expected) {
            scheme.result = SchemeResult::failed(QStringLiteral("内容摘要不符"));
            return;
        }
    }
}

// The guards and checks that span signers or schemes, each replacing a pass that would hide
// what they find.
void CheckAcrossSigners(const SigningBlock &block, SchemeVerification &v2, SchemeVerification &v3)
{
    const auto verified = [](const SchemeVerification &scheme) {
        return scheme.result.state == SchemeState::Verified;
    };
    const SchemeResult stripped = SchemeResult::failed(QStringLiteral("v3 签名已被剥离"), true);
    if (verified(v2) && V3Stripped(block))
        v2.result = stripped;
    if (verified(v3) && V31Stripped(block))
        v3.result = stripped;
    if (verified(v3) && !V3RangesDisjoint(block.v3.signers))
        v3.result = SchemeResult::failed(QStringLiteral("签名者平台版本重叠"));
}

// The lowest API level the JAR signature must hold for: the package's own minimum. A ZIP with
// no manifest is no APK Android installs (an APKM container, say); its JAR signature is judged
// as the versions that run installers today judge one.
int JarMinSdk(const ZipArchive &archive)
{
    const std::optional<ApkManifest> manifest = ReadApkManifest(archive);
    return manifest ? manifest->minSdkLevel : ApiLevel::Nougat;
}

} // namespace

SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive)
{
    SignatureReport report;
    if (!file.isOpen()) {
        report.failure = QStringLiteral("无法读取文件");
        return report;
    }
    // A refused archive is one that reads more than one way; nothing in it is judged.
    if (!archive.isOpen()) {
        report.failure = archive.problem();
        return report;
    }
    const PackageLayout layout = ReadPackageLayout(file, archive.endRecord());
    if (!layout.error.isEmpty()) {
        report.failure = layout.error;
        return report;
    }
    const SigningBlock block =
        layout.block.isEmpty() ? SigningBlock() : ParseSigningBlock(layout.block);
    report.failure = block.error;
    // Entry data inside the signing block would be covered by no signature.
    if (report.failure.isEmpty() && archive.dataEnd() > layout.blockOffset) {
        report.failure = QStringLiteral("ZIP 结构异常：条目与签名块重叠");
        return report;
    }

    const JarVerification v1 = VerifyJarSignatures(archive, block.v2.present, block.v3.present,
                                                   JarMinSdk(archive), ApiLevel::Newest);

    SchemeVerification v2 = VerifySchemeSigners(block.v2, false);
    SchemeVerification v3 = VerifySchemeSigners(block.v3, true);
    // Each content digest is computed once, however many signers and schemes ask for it.
    QList<DigestAlgorithm> algorithms;
    for (const SchemeVerification *scheme : {&v2, &v3})
        for (const SignedContentDigest &digest : scheme->contentDigests)
            if (!algorithms.contains(digest.algorithm))
                algorithms.append(digest.algorithm);
    if (!algorithms.isEmpty()) {
        const auto actual = ComputeContentDigests(file, layout, algorithms);
        CheckContent(v2, actual);
        CheckContent(v3, actual);
    }
    CheckAcrossSigners(block, v2, v3);
    report.v1 = v1.result;
    report.v2 = v2.result;
    report.v3 = v3.result;
    if (block.v3.present)
        report.signers = SchemeSignerFacts(block.v3);
    else if (block.v2.present)
        report.signers = SchemeSignerFacts(block.v2);
    else
        report.signers = v1.signers;
    if (report.verdict() != SignatureVerdict::Failed && !SignersAgree(v1.certificates, block)) {
        report.failure = QStringLiteral("各方案签名者不一致");
        if (report.v1.state != SchemeState::Absent)
            report.signersByScheme.append({QStringLiteral("v1"), v1.signers});
        if (block.v2.present)
            report.signersByScheme.append({QStringLiteral("v2"), SchemeSignerFacts(block.v2)});
        if (block.v3.present)
            report.signersByScheme.append({QStringLiteral("v3"), report.signers});
    }
    // Failed checks leave OpenSSL's error queue filled; nothing else reads it.
    ERR_clear_error();
    return report;
}
