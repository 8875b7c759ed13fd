#include "UpdateCheck.h"

#include "details/OutcomeText.h"
#include "details/ShownDetails.h"
#include "signing/CertificateFacts.h"

#include <QSet>
#include <algorithm>
#include <optional>

namespace {

UpdateReason Reason(const char *code, const QString &text)
{
    return {QString::fromLatin1(code), text};
}

QString SharedUserId(const PackageDetails &details)
{
    return details.manifest ? details.manifest->sharedUserId : QString();
}

QSet<QString> Certificates(const QList<SignerFacts> &signers)
{
    QSet<QString> certificates;
    for (const SignerFacts &signer : signers)
        certificates.insert(signer.certificate.sha256);
    return certificates;
}

// As apksigner prints them, without colons: two fit side by side, where the colon form would not.
QString CertificateList(const QList<SignerFacts> &signers)
{
    QStringList certificates;
    for (const SignerFacts &signer : signers)
        certificates.append(PlainHex(signer.certificate.sha256));
    return certificates.join(QStringLiteral("、"));
}

// Whether the lineage of `holder` names `certificate` among those it rotated away from and
// grants it `capability`: nothing when it does not name it.
std::optional<bool> LineageGrants(const SignerFacts &holder, const QString &certificate,
                                  quint32 capability)
{
    const qsizetype at = holder.formerSha256.indexOf(certificate);
    if (at < 0 || at >= holder.formerCapabilities.size())
        return std::nullopt;
    return (holder.formerCapabilities[at] & capability) == capability;
}

enum class SignerMatch
{
    Accepted,
    RotationWithheld,
    Differs
};

// Android's PackageManager: the new signers take over when the new package's lineage grants
// the old signer INSTALLED_DATA, or the old package's lineage grants the new signer ROLLBACK;
// a lineage names one signer's history, so several signers must be the same set.
SignerMatch MatchSigners(const QList<SignerFacts> &before, const QList<SignerFacts> &after)
{
    if (before.size() != 1 || after.size() != 1)
        return Certificates(before) == Certificates(after) ? SignerMatch::Accepted
                                                           : SignerMatch::Differs;
    const SignerFacts &oldSigner = before.first();
    const SignerFacts &newSigner = after.first();
    if (oldSigner.certificate.sha256 == newSigner.certificate.sha256)
        return SignerMatch::Accepted;
    const std::optional<bool> forward =
        LineageGrants(newSigner, oldSigner.certificate.sha256, InstalledDataCapability);
    const std::optional<bool> back =
        LineageGrants(oldSigner, newSigner.certificate.sha256, RollbackCapability);
    if (forward.value_or(false) || back.value_or(false))
        return SignerMatch::Accepted;
    return forward || back ? SignerMatch::RotationWithheld : SignerMatch::Differs;
}

// Certificates that did not parse have no digest to compare; their signature fails anyway.
bool Comparable(const QList<SignerFacts> &signers)
{
    return !signers.isEmpty() &&
           std::none_of(signers.begin(), signers.end(), [](const SignerFacts &signer) {
               return signer.certificate.sha256.isEmpty();
           });
}

std::optional<UpdateReason> SignerReason(const PackageDetails &before, const PackageDetails &after)
{
    const QList<SignerFacts> oldSigners = before.signatures.newestPlatformSigners();
    const QList<SignerFacts> newSigners = after.signatures.newestPlatformSigners();
    if (!Comparable(oldSigners) || !Comparable(newSigners))
        return std::nullopt;
    switch (MatchSigners(oldSigners, newSigners)) {
    case SignerMatch::Accepted:
        return std::nullopt;
    case SignerMatch::RotationWithheld:
        return Reason("rotationNotPermitted", QStringLiteral("签名者已轮换，旧签名者未授权"));
    case SignerMatch::Differs:
        break;
    }
    return Reason("signerDiffers",
                  QStringLiteral("签名者不同（旧：%1；新：%2）")
                      .arg(CertificateList(oldSigners), CertificateList(newSigners)));
}

std::optional<UpdateReason> VerdictReason(const PackageDetails &details, const QString &side)
{
    switch (PackageVerdict(details)) {
    case SignatureVerdict::Verified:
        return std::nullopt;
    case SignatureVerdict::Unsigned:
        return Reason("signatureFailed", side + QStringLiteral("未签名"));
    case SignatureVerdict::Failed:
        break;
    }
    return Reason("signatureFailed", side + QStringLiteral("签名校验失败"));
}

} // namespace

QString UpdateComparison::verdictText() const
{
    return reasons.isEmpty() ? QStringLiteral("可以作为更新安装") : reasons.first().text;
}

std::optional<qint64> UpdateVersionCode(const PackageDetails &details, bool installing)
{
    // Without the manifest only the tool's number is known; Android takes its bits unsigned.
    if (!details.manifest)
        return quint32(details.facts.versionCode.toLongLong());
    if (!details.parsedVersionCode || !installing)
        return details.parsedVersionCode;
    return qMin(*details.parsedVersionCode, details.manifest->updateCheckVersionCode);
}

ComparedPackage AsCompared(const PackageRecord &record)
{
    if (!record.details)
        return {record.path, OutcomeText(record.result), {}};
    return {record.path, {}, *record.details};
}

UpdateComparison CompareForUpdate(const ComparedPackage &oldPackage,
                                  const ComparedPackage &newPackage)
{
    UpdateComparison comparison;
    QList<UpdateReason> &reasons = comparison.reasons;
    const std::pair<const ComparedPackage &, QString> sides[] = {
        {oldPackage, QStringLiteral("旧包")}, {newPackage, QStringLiteral("新包")}};
    for (const auto &[package, side] : sides)
        if (!package.read())
            reasons.append(Reason("packageUnreadable",
                                  QStringLiteral("%1无法读取：%2")
                                      .arg(side, package.unreadable.isEmpty()
                                                     ? QStringLiteral("文件已更改，请重新打开")
                                                     : package.unreadable)));
    if (!reasons.isEmpty())
        return comparison;

    comparison.bothRead = true;
    const PackageDetails &before = oldPackage.details;
    const PackageDetails &after = newPackage.details;
    if (before.facts.packageName != after.facts.packageName)
        reasons.append(Reason("packageDiffers", QStringLiteral("包名不同")));
    const std::optional<qint64> oldCode = UpdateVersionCode(before, false);
    const std::optional<qint64> newCode = UpdateVersionCode(after, true);
    for (const auto &[code, side] :
         {std::pair(newCode, sides[1].second), std::pair(oldCode, sides[0].second)})
        if (!code)
            reasons.append(Reason("versionUnreadable", side + QStringLiteral("版本代码无法解析")));
    if (oldCode && newCode && *newCode < *oldCode)
        reasons.append(Reason("versionDowngrade",
                              QStringLiteral("版本降级（%1 → %2）").arg(*oldCode).arg(*newCode)));
    if (const std::optional<UpdateReason> reason = SignerReason(before, after))
        reasons.append(*reason);
    for (const auto &[package, side] : {sides[1], sides[0]})
        if (const std::optional<UpdateReason> reason = VerdictReason(package.details, side))
            reasons.append(*reason);
    // Android refuses to move an installed app into another shared user, or into one at all.
    const QString oldUser = SharedUserId(before);
    const QString newUser = SharedUserId(after);
    if (!newUser.isEmpty() && newUser != oldUser)
        reasons.append(
            Reason("sharedUserChanged",
                   QStringLiteral("共享用户 ID 不同（%1 → %2）")
                       .arg(oldUser.isEmpty() ? QStringLiteral("无") : EscapeControls(oldUser),
                            EscapeControls(newUser))));
    comparison.changes = CompareFacts(before, after);
    return comparison;
}
