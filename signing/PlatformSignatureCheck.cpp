#include "PlatformSignatureCheck.h"

#include "ApiLevels.h"
#include "ContentDigest.h"
#include "JarVerifier.h"
#include "PackageLayout.h"
#include "SchemeVerifier.h"
#include "SignerConsistency.h"
#include "SigningBlock.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <openssl/err.h>

namespace {

bool Verified(const SchemeVerification &scheme)
{
    return scheme.result.state == SchemeState::Verified;
}

// Compares the content digests the signers of one scheme vouch for with the package's.
void CheckContent(SchemeVerification &scheme, const QMap<ContentDigestKind, QByteArray> &actual,
                  const PackageLayout &layout)
{
    for (const SignedContentDigest &digest : scheme.contentDigests) {
        if (digest.kind == ContentDigestKind::VeritySha256 && !VerityApplies(layout)) {
            scheme.result = SchemeResult::failed({FailureCode::SigningBlockUnaligned});
            return;
        }
        if (!actual.contains(digest.kind)) {
            scheme.result = SchemeResult::failed({FailureCode::FileUnreadable});
            return;
        }
        if (actual.value(digest.kind) != digest.expected) {
            scheme.result = SchemeResult::failed({FailureCode::ContentDigestMismatch});
            return;
        }
    }
}

void FailWith(SchemeVerification &scheme, const std::optional<Failure> &reason)
{
    if (reason)
        scheme.result = SchemeResult::failed(*reason);
}

// The guards and checks that span signers or schemes, each replacing a pass that would hide
// what they find. v3.1 signers must reach the newest platform; v3 signers must cover the
// package's platforms from 28 up to where v3.1 takes over, or through the newest without it.
void CheckAcrossSigners(const SigningBlock &block, int minSdk, SchemeVerification &v2,
                        SchemeVerification &v3, SchemeVerification &v31)
{
    const SchemeResult stripped = SchemeResult::failed({FailureCode::V3Stripped});
    if (Verified(v2) && V3Stripped(block))
        v2.result = stripped;
    if (Verified(v31))
        FailWith(v31, CoverageProblem(block.v31.signers, ApiLevel::Newest, ApiLevel::Newest));
    if (!Verified(v3))
        return;
    if (V31Stripped(block)) {
        v3.result = stripped;
    } else if (Verified(v31) && RotationMinSdkDisagrees(block)) {
        v3.result = SchemeResult::failed({FailureCode::V31MinSdkMismatch});
    } else {
        int highest = ApiLevel::Newest;
        if (Verified(v31))
            for (const SchemeSigner &signer : block.v31.signers)
                highest = qMin(highest, signer.minSdk - 1);
        FailWith(v3, CoverageProblem(block.v3.signers, qMax(minSdk, ApiLevel::Pie), highest));
    }
}

// v3 and v3.1 as one scheme: a v3.1 block without a v3 block is a v3 block cut out, and Android
// checks v3.1 first.
SchemeResult V3FamilyResult(const SigningBlock &block, const SchemeVerification &v3,
                            const SchemeVerification &v31)
{
    if (block.v31.present && !block.v3.present)
        return SchemeResult::failed({FailureCode::V3Stripped});
    // A v3.1 signer's failure is told apart from a v3 signer's; one that names its own scheme
    // already is passed on as it is.
    if (v31.result.state == SchemeState::Failed && !NamesItsScheme(v31.result.reason.code))
        return SchemeResult::failed(
            {FailureCode::V31Failed, {}, std::make_shared<const Failure>(v31.result.reason)});
    return v31.result.state == SchemeState::Failed ? v31.result : v3.result;
}

// What the platforms from the package's minimum through the newest need that a signed package
// lacks, in the order Android's own verifier finds it; empty when nothing. A level the manifest
// does not tell (a reference, which Android resolves and apksig does not) may be one that needs
// v2 or v3.
Failure PlatformFailure(const PackagePlatforms &platforms, bool blockSigned, bool v1Needed,
                        bool v1Present)
{
    const std::optional<int> &sandbox = platforms.targetSandbox;
    if (!blockSigned && !sandbox)
        return {FailureCode::SandboxUnknownNeedsV2};
    if (!blockSigned && *sandbox >= 2)
        return {FailureCode::SandboxNeedsV2, {QString::number(*sandbox)}};
    if (v1Needed && !v1Present)
        return {FailureCode::JarNeededBelowNougat};
    const std::optional<int> &target = platforms.targetSdk;
    if (!blockSigned && !target)
        return {FailureCode::TargetSdkUnknownNeedsV2};
    if (!blockSigned && *target >= ApiLevel::R)
        return {FailureCode::TargetSdkNeedsV2, {QString::number(*target)}};
    return {};
}

// The v3 and v3.1 signers in the order of the platforms they sign for.
QList<SignerFacts> V3FamilySigners(const SigningBlock &block)
{
    QList<SignerFacts> signers =
        SchemeSignerFacts(block.v3, true) + SchemeSignerFacts(block.v31, true);
    std::stable_sort(signers.begin(), signers.end(),
                     [](const SignerFacts &a, const SignerFacts &b) {
                         return a.platforms->minSdk < b.platforms->minSdk;
                     });
    return signers;
}

// Each content digest is computed once, however many signers and schemes ask for it.
QList<ContentDigestKind> KindsAskedFor(std::initializer_list<const SchemeVerification *> schemes)
{
    QList<ContentDigestKind> kinds;
    for (const SchemeVerification *scheme : schemes)
        for (const SignedContentDigest &digest : scheme->contentDigests)
            if (!kinds.contains(digest.kind))
                kinds.append(digest.kind);
    return kinds;
}

} // namespace

struct PlatformSignatureCheck::State
{
    std::optional<SignatureReport> decided; // a failure found before anything was fed
    PackageLayout layout;
    SigningBlock block;
    PackagePlatforms platforms;
    std::unique_ptr<JarSignatureCheck> v1;
    SchemeVerification v2, v3, v31;
    std::unique_ptr<ContentDigester> content; // null when no signer asks for a digest
};

PlatformSignatureCheck::PlatformSignatureCheck(const SafeFile &file, const ZipArchive &archive,
                                               const PackagePlatforms &platforms)
    : d(std::make_unique<State>())
{
    SignatureReport report;
    if (!file.isOpen()) {
        report.failure = {FailureCode::FileUnreadable};
        d->decided = report;
        return;
    }
    // A refused archive is one that reads more than one way; nothing in it is judged.
    if (!archive.isOpen()) {
        report.failure = archive.problem();
        d->decided = report;
        return;
    }
    d->layout = ReadPackageLayout(file, archive.endRecord());
    if (d->layout.error.failed()) {
        report.failure = d->layout.error;
        d->decided = report;
        return;
    }
    d->block = d->layout.block.isEmpty() ? SigningBlock() : ParseSigningBlock(d->layout.block);
    // Entry data inside the signing block would be covered by no signature.
    if (!d->block.error.failed() && archive.dataEnd() > d->layout.blockOffset) {
        report.failure = {FailureCode::ZipEntryOverlapsSigningBlock};
        d->decided = report;
        return;
    }

    // The platforms judged run from the caller's minimum through the newest, as apksigner judges
    // them when given no range.
    d->platforms = platforms;
    const int minSdk = platforms.minSdk;
    const SigningBlock &block = d->block;
    // Releases after the newest known check JAR signatures as it does.
    d->v1 = std::make_unique<JarSignatureCheck>(archive, block.v2.present, block.v3.present, minSdk,
                                                ApiLevel::NewestKnown);
    d->v2 = VerifySchemeSigners(block.v2, false, minSdk);
    d->v3 = VerifySchemeSigners(block.v3, true, minSdk);
    d->v31 = VerifySchemeSigners(block.v31, true, minSdk);
    if (const QList<ContentDigestKind> kinds = KindsAskedFor({&d->v2, &d->v3, &d->v31});
        !kinds.isEmpty())
        d->content = std::make_unique<ContentDigester>(d->layout, kinds);
}

PlatformSignatureCheck::~PlatformSignatureCheck() = default;

void PlatformSignatureCheck::feed(qint64 offset, const unsigned char *data, std::size_t size)
{
    if (d->decided)
        return;
    const char *bytes = reinterpret_cast<const char *>(data);
    d->v1->feed(offset, bytes, qint64(size));
    if (d->content)
        d->content->feed(offset, bytes, qint64(size));
}

void PlatformSignatureCheck::readNeeded(const SafeFile &file)
{
    if (d->decided)
        return;
    // The entries lie before the signing block, so one stretch from the start serves both.
    const qint64 entriesEnd = std::max(d->content ? d->layout.blockOffset : 0, d->v1->dataNeeded());
    const auto readStretch = [&](qint64 offset, qint64 size) {
        return file.readRange(offset, size, [&](const unsigned char *data, std::size_t count) {
            feed(offset, data, count);
            offset += qint64(count);
        });
    };
    if (readStretch(0, entriesEnd) && d->content)
        readStretch(d->layout.end.centralDirectoryOffset, d->layout.end.centralDirectorySize);
}

SignatureReport PlatformSignatureCheck::finish()
{
    if (d->decided)
        return *d->decided;
    const SigningBlock &block = d->block;
    const int minSdk = d->platforms.minSdk;
    SchemeVerification &v2 = d->v2, &v3 = d->v3, &v31 = d->v31;
    SignatureReport report;
    report.failure = block.error.failed() ? block.error : d->platforms.problem;
    const bool blockSigned = block.v2.present || block.v3.present || block.v31.present;
    const JarVerification v1 = d->v1->finish();
    const QMap<ContentDigestKind, QByteArray> actual =
        d->content ? d->content->finish() : QMap<ContentDigestKind, QByteArray>();
    for (SchemeVerification *scheme : {&v2, &v3, &v31})
        CheckContent(*scheme, actual, d->layout);
    CheckAcrossSigners(block, minSdk, v2, v3, v31);
    report.v1 = v1.result;
    report.v2 = v2.result;
    report.v3 = V3FamilyResult(block, v3, v31);
    // Android 7.0 and later verify the signing block and fall back to JAR only without one;
    // Android 9 and later verify v3 and fall back to v2 only without it.
    report.v3Decides = block.v3.present || block.v31.present;
    report.v2Decides = block.v2.present && (minSdk < ApiLevel::Pie || !report.v3Decides);
    report.v1Decides = minSdk < ApiLevel::Nougat || !blockSigned;
    if (blockSigned || report.v1.state != SchemeState::Absent)
        report.platformFailure = PlatformFailure(d->platforms, blockSigned, report.v1Decides,
                                                 report.v1.state != SchemeState::Absent);

    if (report.v3Decides)
        report.signers = V3FamilySigners(block);
    else if (block.v2.present)
        report.signers = SchemeSignerFacts(block.v2, false);
    else
        report.signers = v1.signers;
    const QList<QByteArray> jarCertificates =
        report.v1Decides ? v1.certificates : QList<QByteArray>();
    if (report.verdict() != SignatureVerdict::Failed &&
        !SignersAgree(jarCertificates, block, report.v2Decides)) {
        report.failure = {FailureCode::SignersDifferAcrossSchemes};
        if (report.v1Decides && report.v1.state != SchemeState::Absent)
            report.signersByScheme.append({QStringLiteral("v1"), v1.signers});
        if (report.v2Decides)
            report.signersByScheme.append(
                {QStringLiteral("v2"), SchemeSignerFacts(block.v2, false)});
        if (report.v3Decides)
            report.signersByScheme.append({QStringLiteral("v3"), report.signers});
    }
    // Failed checks leave OpenSSL's error queue filled; nothing else reads it.
    ERR_clear_error();
    return report;
}

SignatureReport VerifySignaturesFor(const SafeFile &file, const ZipArchive &archive,
                                    const PackagePlatforms &platforms)
{
    PlatformSignatureCheck check(file, archive, platforms);
    check.readNeeded(file);
    return check.finish();
}
