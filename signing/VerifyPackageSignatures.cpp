#include "VerifyPackageSignatures.h"

#include "ContentDigest.h"
#include "JarVerifier.h"
#include "PackageLayout.h"
#include "SchemeVerifier.h"
#include "SigningBlock.h"
#include "archive/ZipArchive.h"
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

} // namespace

SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive)
{
    SignatureReport report;
    if (!file.isOpen()) {
        report.failure = QStringLiteral("无法读取文件");
        return report;
    }
    const PackageLayout layout = ReadPackageLayout(file);
    if (!layout.error.isEmpty()) {
        report.failure = layout.error;
        return report;
    }
    const SigningBlock block =
        layout.block.isEmpty() ? SigningBlock() : ParseSigningBlock(layout.block);
    report.failure = block.error;

    if (!archive.isOpen()) {
        report.failure = QStringLiteral("ZIP 结构损坏");
        return report;
    }
    const JarVerification v1 = VerifyJarSignatures(archive, block.v2.present, block.v3.present);

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
    report.v1 = v1.result;
    report.v2 = v2.result;
    report.v3 = v3.result;
    if (block.v3.present)
        report.signers = SchemeSignerFacts(block.v3);
    else if (block.v2.present)
        report.signers = SchemeSignerFacts(block.v2);
    else
        report.signers = v1.signers;
    // Failed checks leave OpenSSL's error queue filled; nothing else reads it.
    ERR_clear_error();
    return report;
}
