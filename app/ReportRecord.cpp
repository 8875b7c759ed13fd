#include "ReportRecord.h"

#include "ExposureJson.h"
#include "HoldingsJson.h"
#include "PermissionsJson.h"
#include "apk/NativeLibraries.h"
#include "base/NarrowText.h"
#include "details/BundleText.h"
#include "details/DescribeSignatures.h"
#include "details/FailureText.h"
#include "details/OutcomeText.h"
#include "details/PackageDetails.h"
#include "details/ShownDetails.h"
#include "inspect/Inspection.h"
#include "inspect/ToolComplaints.h"
#include "signing/CertificateFacts.h"
#include "signing/ExpectedSigner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString OutcomeName(InspectionOutcome outcome)
{
    switch (outcome) {
    case InspectionOutcome::Ok:
        return QStringLiteral("ok");
    case InspectionOutcome::WrongType:
        return QStringLiteral("wrongType");
    case InspectionOutcome::Folder:
        return QStringLiteral("folder");
    case InspectionOutcome::Damaged:
        return QStringLiteral("damaged");
    case InspectionOutcome::ToolSilent:
        return QStringLiteral("toolSilent");
    case InspectionOutcome::Unreadable:
        return QStringLiteral("unreadable");
    }
    return {};
}

// SDK levels and version codes are numbers; a preview's codename stays text.
QJsonValue NumberOrNull(const QString &text)
{
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    return text.isEmpty() ? QJsonValue() : number ? QJsonValue(value) : QJsonValue(text);
}

QJsonValue HexOrNull(const QByteArray &hex)
{
    return hex.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(hex));
}

QJsonValue MomentOrNull(const QDateTime &moment)
{
    return moment.isValid() ? QJsonValue(moment.toString(Qt::ISODate)) : QJsonValue();
}

QString NewestScheme(const SignatureReport &report)
{
    if (report.v3.state != SchemeState::Absent)
        return QStringLiteral("v3");
    if (report.v2.state != SchemeState::Absent)
        return QStringLiteral("v2");
    return QStringLiteral("v1");
}

QJsonObject SignerObject(const QString &scheme, const SignerFacts &signer)
{
    const CertificateFacts &facts = signer.certificate;
    QJsonArray former;
    for (const QString &sha256 : signer.formerSha256)
        former.append(PlainHex(sha256));
    // Only v3 signers say which platforms they sign for; null up to the newest.
    const std::optional<PlatformRange> &platforms = signer.platforms;
    const QJsonValue minSdk = platforms ? QJsonValue(platforms->minSdk) : QJsonValue();
    const QJsonValue maxSdk = platforms && platforms->maxSdk != ApiLevel::Newest
                                  ? QJsonValue(platforms->maxSdk)
                                  : QJsonValue();
    return {
        {QStringLiteral("scheme"), scheme},
        {QStringLiteral("subject"), TextOrNull(facts.subject)},
        {QStringLiteral("issuer"), TextOrNull(facts.issuer)},
        {QStringLiteral("serial"), TextOrNull(facts.serial)},
        {QStringLiteral("notBefore"), MomentOrNull(facts.notBefore)},
        {QStringLiteral("notAfter"), MomentOrNull(facts.notAfter)},
        {QStringLiteral("publicKey"), TextOrNull(facts.parsed ? PublicKeyText(facts) : QString())},
        {QStringLiteral("certMd5"), TextOrNull(PlainHex(facts.md5))},
        {QStringLiteral("certSha1"), TextOrNull(PlainHex(facts.sha1))},
        {QStringLiteral("certSha256"), TextOrNull(PlainHex(facts.sha256))},
        {QStringLiteral("formerCertSha256"), former},
        {QStringLiteral("minSdk"), minSdk},
        {QStringLiteral("maxSdk"), maxSdk},
    };
}

QString ContainerName(BundleKind kind)
{
    switch (kind) {
    case BundleKind::Apk:
        return QStringLiteral("apk");
    case BundleKind::ApkSet:
        return QStringLiteral("apks");
    case BundleKind::SplitApks:
        return QStringLiteral("splitApks");
    case BundleKind::Xapk:
        return QStringLiteral("xapk");
    case BundleKind::Apkm:
        return QStringLiteral("apkm");
    }
    return {};
}

QString VerdictName(SignatureVerdict verdict)
{
    switch (verdict) {
    case SignatureVerdict::Verified:
        return QStringLiteral("verified");
    case SignatureVerdict::Unsigned:
        return QStringLiteral("unsigned");
    case SignatureVerdict::Failed:
        break;
    }
    return QStringLiteral("failed");
}

// A failure's stable name; null for none, or one that has no code.
QJsonValue CodeOrNull(const Failure &failure)
{
    return TextOrNull(QString::fromLatin1(FailureCodeName(failure.code)));
}

// One signature check: the verdict, its reason as given and the code of the failure it words (a
// bundle's are over all its APKs), then the schemes, each one's own result, and the signers of
// `report`.
QJsonObject SignatureObject(const SignatureReport &report, SignatureVerdict verdict,
                            const QString &reason, const Failure &failure)
{
    QJsonArray schemes;
    QJsonObject schemeResults;
    for (const auto &[name, result] :
         {std::pair{"v1", report.v1}, std::pair{"v2", report.v2}, std::pair{"v3", report.v3}}) {
        if (result.state == SchemeState::Absent)
            continue;
        schemes.append(QString::fromLatin1(name));
        const bool verified = result.state == SchemeState::Verified;
        schemeResults.insert(
            QString::fromLatin1(name),
            QJsonObject{{QStringLiteral("verdict"),
                         verified ? QStringLiteral("verified") : QStringLiteral("failed")},
                        {QStringLiteral("code"), CodeOrNull(result.reason)},
                        {QStringLiteral("reason"), TextOrNull(FailureText(result.reason))}});
    }
    // Every scheme's signers when the schemes disagree, else the newest scheme's.
    QList<SchemeSigners> byScheme = report.signersByScheme;
    if (byScheme.isEmpty())
        byScheme.append({NewestScheme(report), report.signers});
    QJsonArray signers;
    for (const SchemeSigners &scheme : std::as_const(byScheme))
        for (const SignerFacts &signer : scheme.signers)
            signers.append(SignerObject(scheme.scheme, signer));
    return {
        {QStringLiteral("verdict"), VerdictName(verdict)}, {QStringLiteral("reason"), reason},
        {QStringLiteral("code"), CodeOrNull(failure)},     {QStringLiteral("schemes"), schemes},
        {QStringLiteral("schemeResults"), schemeResults},  {QStringLiteral("signers"), signers},
    };
}

QJsonObject PackageSignatureObject(const PackageDetails &details)
{
    return SignatureObject(details.signatures, PackageVerdict(details), PackageVerdictText(details),
                           PackageVerdictFailure(details));
}

QJsonValue ContainerSignatureValue(const PackageDetails &details)
{
    if (!details.container)
        return {};
    return SignatureObject(*details.container, details.container->verdict(),
                           VerdictText(*details.container), DecidingFailure(*details.container));
}

QJsonObject PackageObject(const QByteArray &path, const InspectionResult &result,
                          const std::optional<PackageDetails> &details,
                          const std::optional<PackageDetails> &refused)
{
    const QString shownPath = FromNarrow(path);
    QJsonObject object{
        {QStringLiteral("path"), shownPath},
        {QStringLiteral("outcome"), OutcomeName(result.outcome)},
        {QStringLiteral("message"), result.message.isNull() ? QJsonValue() : result.message},
    };
    if (shownPath.toUtf8() != path)
        object.insert(QStringLiteral("pathHex"), QString::fromLatin1(path.toHex()));

    const PackageFacts facts = details ? details->facts : PackageFacts();
    const bool known = details && !details->fileChanged;
    const QJsonValue none;
    object.insert(QStringLiteral("reason"), TextOrNull(ReasonText(result)));
    object.insert(QStringLiteral("code"), CodeOrNull(result.bundleProblem));
    QJsonArray complaints;
    if (result.inspected)
        for (const QByteArray &line : ToolComplaints(result.inspected->toolOutput))
            complaints.append(FromNarrow(line));
    object.insert(QStringLiteral("toolComplaints"), complaints);
    object.insert(QStringLiteral("package"), TextOrNull(facts.packageName));
    object.insert(QStringLiteral("versionName"), TextOrNull(facts.versionName));
    object.insert(QStringLiteral("versionCode"), NumberOrNull(facts.versionCode));
    object.insert(QStringLiteral("label"), TextOrNull(facts.defaultLabel));
    object.insert(QStringLiteral("minSdk"), NumberOrNull(facts.minSdk));
    object.insert(QStringLiteral("targetSdk"), NumberOrNull(facts.targetSdk));
    object.insert(QStringLiteral("compileSdk"), NumberOrNull(facts.compileSdkVersion));
    object.insert(QStringLiteral("permissions"),
                  details ? QJsonValue(QJsonArray::fromStringList(facts.permissionNames)) : none);
    const QJsonObject permissions =
        PermissionsObject(known ? details->manifest : std::nullopt, facts.permissionNames,
                          known ? details->holdings : std::nullopt);
    for (auto key = permissions.begin(); key != permissions.end(); ++key)
        object.insert(key.key(), key.value());
    object.insert(QStringLiteral("abis"),
                  details ? QJsonValue(QJsonArray::fromStringList(facts.nativePlatforms)) : none);
    object.insert(QStringLiteral("size"), known ? QJsonValue(details->size) : none);
    object.insert(QStringLiteral("md5"), known ? HexOrNull(details->digests.md5) : none);
    object.insert(QStringLiteral("sha1"), known ? HexOrNull(details->digests.sha1) : none);
    object.insert(QStringLiteral("sha256"), known ? HexOrNull(details->digests.sha256) : none);
    object.insert(QStringLiteral("container"),
                  details ? QJsonValue(ContainerName(details->kind)) : none);
    QJsonValue splits = details ? QJsonValue(QJsonArray()) : none;
    if (known && details->bundle) {
        QJsonArray list;
        for (const InnerApkFacts &apk : details->bundle->apks)
            list.append(QJsonObject{
                {QStringLiteral("name"), FromNarrow(apk.entry)},
                {QStringLiteral("split"), apk.manifest ? TextOrNull(apk.manifest->split) : none},
                {QStringLiteral("serves"),
                 apk.manifest ? QJsonValue(SplitPurposeText(*apk.manifest)) : none},
                {QStringLiteral("size"), apk.size >= 0 ? QJsonValue(apk.size) : none},
            });
        splits = list;
    }
    object.insert(QStringLiteral("splits"), splits);
    QJsonValue libraries, pageSize;
    if (known && details->nativeLibraries) {
        QJsonArray list;
        for (const NativeLibrary &library : *details->nativeLibraries) {
            const std::optional<bool> ready = Ready16k(library);
            list.append(QJsonObject{
                {QStringLiteral("abi"), FromNarrow(library.abi)},
                {QStringLiteral("path"), FromNarrow(library.path)},
                {QStringLiteral("size"), library.size},
                {QStringLiteral("stored"), library.stored},
                {QStringLiteral("ready16k"), ready ? QJsonValue(*ready) : QJsonValue()},
            });
        }
        libraries = list;
        pageSize = PageSizeSupportName(SummarizePageSize(*details->nativeLibraries).support);
    }
    object.insert(QStringLiteral("nativeLibraries"), libraries);
    object.insert(QStringLiteral("pageSize16k"), pageSize);
    object.insert(QStringLiteral("channel"),
                  known && details->channel ? QJsonValue(*details->channel) : none);
    const std::optional<ApkHoldings> holdings =
        known ? details->holdings : std::optional<ApkHoldings>();
    object.insert(QStringLiteral("dex"), DexValue(holdings));
    object.insert(QStringLiteral("frameworks"), FrameworksValue(holdings));
    const std::optional<PackageExposure> exposure =
        holdings ? holdings->exposure : std::optional<PackageExposure>();
    object.insert(QStringLiteral("components"), ComponentsValue(exposure));
    object.insert(QStringLiteral("launcherActivity"), LauncherActivityValue(exposure));
    object.insert(QStringLiteral("flags"), FlagsValue(exposure));
    object.insert(QStringLiteral("findings"), FindingsValue(exposure, QDate::currentDate()));
    object.insert(QStringLiteral("sizes"),
                  known ? QJsonValue(SizesObject(holdings, details->downloadEstimate)) : none);
    // Judged when the file was known, or when it was refused but is a readable archive.
    const std::optional<PackageDetails> &judged = known ? details : refused;
    object.insert(QStringLiteral("signature"),
                  judged ? QJsonValue(PackageSignatureObject(*judged)) : none);
    object.insert(QStringLiteral("containerSignature"),
                  judged ? ContainerSignatureValue(*judged) : none);
    const QList<Failure> notes =
        judged && judged->bundle ? judged->bundle->notes : QList<Failure>();
    object.insert(QStringLiteral("disagreements"), QJsonArray::fromStringList(FailureTexts(notes)));
    QJsonArray noteCodes;
    for (const Failure &note : notes)
        noteCodes.append(QString::fromLatin1(FailureCodeName(note.code)));
    object.insert(QStringLiteral("disagreementCodes"), noteCodes);
    return object;
}

QString PackageText(const QByteArray &path, const InspectionResult &result,
                    const std::optional<PackageDetails> &details,
                    const std::optional<PackageDetails> &refused)
{
    QString text = QStringLiteral("文件: %1\n结果: %2\n")
                       .arg(EscapeControls(FromNarrow(path)), OutcomeText(result));
    if (details)
        text += DetailsText(DetailsSections(*details));
    else if (refused)
        text += DetailsText({SignatureSection(ShownDetails(*refused))});
    return text;
}

} // namespace

QJsonObject ReportObject(const PackageRecord &record)
{
    return PackageObject(record.path, record.result, record.details, record.refused);
}

bool RecordPassed(const QJsonObject &record, bool signersExpected)
{
    const QJsonValue expectedSigner = record.value(QStringLiteral("expectedSigner"));
    const auto failed = [&](const QString &key) {
        return record.value(key).toObject().value(QStringLiteral("verdict")) ==
               QStringLiteral("failed");
    };
    return record.value(QStringLiteral("outcome")) == QStringLiteral("ok") &&
           !failed(QStringLiteral("signature")) && !failed(QStringLiteral("containerSignature")) &&
           (expectedSigner.isUndefined() ? !signersExpected : expectedSigner.toBool());
}

QByteArray RecordPath(const QJsonObject &record)
{
    const QJsonValue path = record.value(QStringLiteral("path"));
    const QJsonValue hex = record.value(QStringLiteral("pathHex"));
    if (!path.isString() || !(hex.isUndefined() || hex.isString()))
        return {};
    if (hex.isUndefined())
        return path.toString().toUtf8();
    const QByteArray digits = hex.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(digits);
    // fromHex skips what is not a digit; a name's hex is nothing but pairs of digits.
    const bool wellFormed = bytes.toHex() == digits.toLower();
    return wellFormed && FromNarrow(bytes) == path.toString() ? bytes : QByteArray();
}

ReportRecord MakeReportRecord(const QByteArray &path, const ReportRequest &request)
{
    const PackageRecord record = ReadPackageRecord(
        path, {.toolTimeout = request.toolTimeout, .estimateDownload = request.downloadSize});
    const std::optional<PackageDetails> &details = record.details;
    // The text form is judged by the record the JSON form would write.
    QJsonObject object = ReportObject(record);
    QString text =
        request.json ? QString() : PackageText(path, record.result, details, record.refused);
    const bool signersExpected = !request.expectedSigners.isEmpty();
    if (signersExpected) {
        const bool matched =
            details && SignedByExpected(details->signatures, request.expectedSigners);
        object.insert(QStringLiteral("expectedSigner"), matched);
        text += QStringLiteral("预期签名者: %1\n")
                    .arg(matched ? QStringLiteral("符合") : QStringLiteral("不符合"));
    }
    const bool passed = RecordPassed(object, signersExpected);
    if (request.json)
        return {QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', passed};
    return {text.toUtf8(), passed};
}
