#include "BundleVerdict.h"

#include "DescribeSignatures.h"

#include <algorithm>

namespace {

QStringList SignerDigests(const SignatureReport &report)
{
    QStringList digests;
    for (const SignerFacts &signer : report.signers)
        digests.append(signer.certificate.sha256);
    return digests;
}

// Why `apk` cannot be installed with the base; nothing when it can.
std::optional<QString> InstallFailure(const InnerApkFacts &apk, const InnerApkFacts &base)
{
    if (apk.size < 0)
        return apk.overLimit ? QStringLiteral("解压后的数据超过上限") : QStringLiteral("无法读取");
    switch (apk.signatures.verdict()) {
    case SignatureVerdict::Unsigned:
        return QStringLiteral("未签名");
    case SignatureVerdict::Failed:
        return FailureReason(apk.signatures);
    case SignatureVerdict::Verified:
        break;
    }
    if (SignerDigests(apk.signatures) != SignerDigests(base.signatures))
        return QStringLiteral("签名者与基础 APK 不同");
    return std::nullopt;
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
        if (InstallFailure(apk, contents.apks.first()))
            return &apk;
    return nullptr;
}

// The first APK that cannot be installed with the base, and why; nothing when all can.
std::optional<QString> FirstFailure(const BundleContents &contents)
{
    if (!HasBase(contents))
        return QStringLiteral("找不到基础 APK");
    if (const InnerApkFacts *apk = FirstFailingApk(contents))
        return QString::fromUtf8(apk->entry) + u' ' + *InstallFailure(*apk, contents.apks.first());
    return std::nullopt;
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
    return FirstFailure(contents) ? SignatureVerdict::Failed : SignatureVerdict::Verified;
}

QString BundleVerdictText(const BundleContents &contents)
{
    return VerdictText(BundleVerdict(contents), FirstFailure(contents).value_or(QString()));
}

Failure BundleVerdictFailure(const BundleContents &contents)
{
    const InnerApkFacts *apk = FirstFailingApk(contents);
    if (!apk || apk->size < 0)
        return {};
    return DecidingFailure(apk->signatures);
}

QString InnerApkVerdictsText(const BundleContents &contents)
{
    QStringList lines;
    for (const InnerApkFacts &apk : contents.apks) {
        const std::optional<QString> failure = InstallFailure(apk, contents.apks.first());
        const bool isUnsigned =
            apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Unsigned;
        const QString state = !failure     ? QStringLiteral("通过")
                              : isUnsigned ? *failure
                                           : QStringLiteral("失败：") + *failure;
        lines.append(QString::fromUtf8(apk.entry) + QStringLiteral(": ") + state);
    }
    return lines.join(QLatin1Char('\n'));
}
