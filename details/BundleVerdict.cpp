#include "BundleVerdict.h"

#include "DescribeSignatures.h"
#include "FailureText.h"

#include <algorithm>

namespace {

QStringList SignerDigests(const SignatureReport &report)
{
    QStringList digests;
    for (const SignerFacts &signer : report.signers)
        digests.append(signer.certificate.sha256);
    return digests;
}

// Whether `apk` can be installed with the base: read, verified and signed by the base's signers.
bool Installable(const InnerApkFacts &apk, const InnerApkFacts &base)
{
    return apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Verified &&
           SignerDigests(apk.signatures) == SignerDigests(base.signatures);
}

// Why `apk`, not installable, cannot be installed with the base: for a signature that fails, the
// failure that decides it.
Failure InstallFailure(const InnerApkFacts &apk, const InnerApkFacts &base)
{
    if (apk.size < 0)
        return {apk.overLimit ? FailureCode::BundleApkOverLimit : FailureCode::BundleApkUnreadable};
    switch (apk.signatures.verdict()) {
    case SignatureVerdict::Unsigned:
        return {FailureCode::BundleApkUnsigned};
    case SignatureVerdict::Failed:
        return DecidingFailure(apk.signatures);
    case SignatureVerdict::Verified:
        break;
    }
    return Installable(apk, base) ? Failure() : Failure(FailureCode::BundleApkSignerDiffers);
}

// Why so, in words: a signature that fails as its own verdict says it, with its scheme.
QString InstallFailureText(const InnerApkFacts &apk, const InnerApkFacts &base)
{
    if (apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Failed)
        return FailureReason(apk.signatures);
    return FailureText(InstallFailure(apk, base));
}

bool HasBase(const BundleContents &contents)
{
    return !contents.apks.isEmpty() && contents.apks.first().entry == contents.baseEntry;
}

// The first APK that cannot be installed with the base; null when all can, or there is no base.
const InnerApkFacts *FirstFailingApk(const BundleContents &contents)
{
    if (!HasBase(contents))
        return nullptr;
    for (const InnerApkFacts &apk : contents.apks)
        if (!Installable(apk, contents.apks.first()))
            return &apk;
    return nullptr;
}

} // namespace

SignatureVerdict BundleVerdict(const BundleContents &contents)
{
    const bool allUnsigned =
        HasBase(contents) &&
        std::all_of(contents.apks.begin(), contents.apks.end(), [](const InnerApkFacts &apk) {
            return apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Unsigned;
        });
    if (allUnsigned)
        return SignatureVerdict::Unsigned;
    return !HasBase(contents) || FirstFailingApk(contents) ? SignatureVerdict::Failed
                                                           : SignatureVerdict::Verified;
}

QString BundleVerdictText(const BundleContents &contents)
{
    QString failure;
    if (!HasBase(contents))
        failure = FailureText(BundleVerdictFailure(contents));
    else if (const InnerApkFacts *apk = FirstFailingApk(contents))
        failure =
            QString::fromUtf8(apk->entry) + u' ' + InstallFailureText(*apk, contents.apks.first());
    return VerdictText(BundleVerdict(contents), failure);
}

Failure BundleVerdictFailure(const BundleContents &contents)
{
    // A bundle all unsigned is not failed: no failure, as for an unsigned APK.
    if (BundleVerdict(contents) != SignatureVerdict::Failed)
        return {};
    if (!HasBase(contents))
        return {FailureCode::BundleBaseMissing};
    const InnerApkFacts *apk = FirstFailingApk(contents);
    return apk ? InstallFailure(*apk, contents.apks.first()) : Failure();
}

QString InnerApkVerdictsText(const BundleContents &contents)
{
    QStringList lines;
    for (const InnerApkFacts &apk : contents.apks) {
        const InnerApkFacts &base = contents.apks.first();
        const bool isUnsigned =
            apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Unsigned;
        const QString state = Installable(apk, base) ? QStringLiteral("通过")
                              : isUnsigned
                                  ? InstallFailureText(apk, base)
                                  : QStringLiteral("失败：") + InstallFailureText(apk, base);
        lines.append(QString::fromUtf8(apk.entry) + QStringLiteral(": ") + state);
    }
    return lines.join(QLatin1Char('\n'));
}
