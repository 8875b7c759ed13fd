// libFuzzer target: any bytes taken for a signing block must parse without a crash, a hang or a
// huge allocation, keep the parser's promises, and survive the signer checks and certificate
// reading that follow the parse, the checks across signers and schemes, and the channel
// markers among its extra pairs. The end-record search, the JAR manifest parser, the JAR
// signature block check (the bytes taken for both block and signature file) and the channel
// comment reader get the same bytes.
#include "apk/ReadChannel.h"
#include "archive/ZipEndRecord.h"
#include "signing/ApiLevels.h"
#include "signing/JarManifest.h"
#include "signing/JarSignatureBlock.h"
#include "signing/SchemeVerifier.h"
#include "signing/SignerConsistency.h"
#include "signing/SigningBlock.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckScheme(const SchemeBlock &scheme, const QByteArray &input, bool v3)
{
    // A malformed scheme keeps no half-read signers, and no scheme keeps more than Android's.
    Require(!scheme.error.failed() || scheme.signers.isEmpty());
    Require(scheme.signers.size() <= MaxSigners);
    for (const SchemeSigner &signer : scheme.signers) {
        Require(input.contains(signer.signedData) && input.contains(signer.publicKey));
        for (const QByteArray &certificate : signer.certificates)
            Require(signer.signedData.contains(certificate));
        Require(v3 || signer.lineage.isEmpty());
        Require(signer.lineage.size() <= MaxLineageNodes);
    }
    VerifySchemeSigners(scheme, v3, 1);
    SchemeSignerFacts(scheme, v3);
    if (v3 && !scheme.signers.isEmpty())
        CoverageProblem(scheme.signers, ApiLevel::Pie, ApiLevel::Newest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const SigningBlock block = ParseSigningBlock(input);
    if (block.error.failed())
        Require(!block.v2.present && !block.v3.present && !block.v31.present);
    CheckScheme(block.v2, input, false);
    CheckScheme(block.v3, input, true);
    CheckScheme(block.v31, input, true);
    // The checks across signers and schemes read only what the parse kept.
    Require(!V3Stripped(block) || !block.v3.present);
    Require(!V31Stripped(block) || !block.v31.present);
    RotationMinSdkDisagrees(block);
    SignersAgree({input}, block, true);
    // Extra pairs stay few and small, and a channel read from them or from a comment is a name.
    Require(block.extraPairs.size() <= MaxExtraPairs);
    for (const ExtraPair &pair : block.extraPairs)
        Require(pair.value.size() <= MaxExtraPairValue && input.contains(pair.value));
    for (const auto &channel : {ChannelFromBlock(block), ChannelFromComment(input)})
        Require(!channel || (!channel->isEmpty() && channel->size() <= MaxChannelLength &&
                             !channel->contains(QLatin1Char('\n'))));
    // The same bytes taken for the other untrusted structures read from memory.
    Failure error;
    if (const auto end = FindEndRecord(input, 0, error))
        Require(end->offset + 22 <= qint64(size) && !error.failed());
    const JarManifest manifest(input);
    Require(manifest.sections().size() <= MaxJarSections);
    for (const JarManifest::Section &section : manifest.sections()) {
        Require(section.attributeCount > 0 && section.start + section.size <= input.size());
        manifest.name(section);
        for (const int minSdk : {1, ApiLevel::Nougat})
            DigestsToCheck(manifest, section, "-Digest", minSdk, ApiLevel::NewestKnown);
    }
    for (const int minSdk : {1, ApiLevel::KitKat, ApiLevel::Nougat}) {
        const JarBlockVerification jar = VerifyJarSignatureBlock(
            input, input, QStringLiteral("META-INF/CERT.RSA"), minSdk, ApiLevel::NewestKnown);
        Require(jar.certificate.isEmpty() == (jar.failure.state == SchemeState::Failed));
        Require(jar.certificate.isEmpty() || input.contains(jar.certificate));
    }
    return 0;
}
