#include "DescribeSignatures.h"

#include "FailureText.h"

namespace {

struct NamedScheme
{
    QString name;
    const SchemeResult &result;
    bool decides;
};

QList<NamedScheme> Schemes(const SignatureReport &report)
{
    return {{QStringLiteral("v1"), report.v1, report.v1Decides},
            {QStringLiteral("v2"), report.v2, report.v2Decides},
            {QStringLiteral("v3"), report.v3, report.v3Decides}};
}

// "API 28–32", "API 33 及以上"; a signer for a development release names the release before it
// as its minimum.
QString PlatformText(const PlatformRange &range)
{
    const QString lowest = range.devRelease ? QStringLiteral("API %1 预览版").arg(range.minSdk + 1)
                                            : QStringLiteral("API %1").arg(range.minSdk);
    if (range.maxSdk == ApiLevel::Newest)
        return lowest + QStringLiteral(" 及以上");
    return lowest + QStringLiteral("–%1").arg(range.maxSdk);
}

// The first deciding scheme that failed; null when none did.
const NamedScheme *FailedScheme(const QList<NamedScheme> &schemes)
{
    for (const NamedScheme &scheme : schemes)
        if (scheme.decides && scheme.result.state == SchemeState::Failed)
            return &scheme;
    return nullptr;
}

// A scheme's failure as the verdict says it: after the scheme's name, unless it names its own.
QString SchemeFailureText(const NamedScheme &scheme)
{
    const QString reason = FailureText(scheme.result.reason);
    return NamesItsScheme(scheme.result.reason.code) ? reason
                                                     : scheme.name + QLatin1Char(' ') + reason;
}

QString TimeText(const QDateTime &moment)
{
    return moment.isValid() ? moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                            : QStringLiteral("?");
}

// A signer's certificate facts, row by row.
void AppendSigner(QList<LabelledValue> &rows, const SignerFacts &signer)
{
    const CertificateFacts &facts = signer.certificate;
    if (!facts.parsed) {
        rows.append({QStringLiteral("主题"), QStringLiteral("证书无法解析")});
        return;
    }
    rows.append({{QStringLiteral("主题"), facts.subject},
                 {QStringLiteral("颁发者"), facts.issuer},
                 {QStringLiteral("序列号"), facts.serial},
                 {QStringLiteral("有效期"), ValidityText(facts)},
                 {QStringLiteral("公钥"), PublicKeyText(facts)},
                 {QStringLiteral("证书 MD5"), facts.md5},
                 {QStringLiteral("证书 SHA-1"), facts.sha1},
                 {QStringLiteral("证书 SHA-256"), facts.sha256},
                 {QStringLiteral("签名 MD5"), facts.signatureMd5}});
    if (!signer.formerSha256.isEmpty())
        rows.append({QStringLiteral("轮换前证书 SHA-256"),
                     signer.formerSha256.join(QLatin1Char('\n')), true});
    if (signer.platforms)
        rows.append({QStringLiteral("适用平台"), PlatformText(*signer.platforms)});
}

} // namespace

QString SchemesPresentText(const SignatureReport &report)
{
    QStringList present;
    for (const NamedScheme &scheme : Schemes(report))
        if (scheme.result.state != SchemeState::Absent)
            present.append(scheme.name == QLatin1String("v1") ? QStringLiteral("v1 (JAR)")
                                                              : scheme.name);
    return present.isEmpty() ? QStringLiteral("无") : present.join(QStringLiteral(", "));
}

Failure DecidingFailure(const SignatureReport &report)
{
    if (report.failure.failed())
        return report.failure;
    const QList<NamedScheme> schemes = Schemes(report);
    if (const NamedScheme *scheme = FailedScheme(schemes))
        return scheme->result.reason;
    return report.platformFailure;
}

QString FailureReason(const SignatureReport &report)
{
    const QList<NamedScheme> schemes = Schemes(report);
    const NamedScheme *scheme = report.failure.failed() ? nullptr : FailedScheme(schemes);
    return scheme ? SchemeFailureText(*scheme) : FailureText(DecidingFailure(report));
}

QString VerdictText(SignatureVerdict verdict, const QString &failure)
{
    switch (verdict) {
    case SignatureVerdict::Verified:
        return QStringLiteral("通过");
    case SignatureVerdict::Unsigned:
        return QStringLiteral("未签名");
    case SignatureVerdict::Failed:
        break;
    }
    return QStringLiteral("失败：") + failure;
}

QString VerdictText(const SignatureReport &report)
{
    return VerdictText(report.verdict(), FailureReason(report));
}

QString SchemeLinesText(const SignatureReport &report)
{
    QStringList lines;
    for (const NamedScheme &scheme : Schemes(report)) {
        QString state;
        switch (scheme.result.state) {
        case SchemeState::Absent:
            state = QStringLiteral("无");
            break;
        case SchemeState::Verified:
            state = QStringLiteral("通过");
            break;
        case SchemeState::Failed:
            state = QStringLiteral("失败：") + FailureText(scheme.result.reason);
            break;
        }
        lines.append(scheme.name + QStringLiteral(": ") + state);
    }
    return lines.join(QLatin1Char('\n'));
}

QString ValidityText(const CertificateFacts &facts)
{
    return QStringLiteral("%1 至 %2 (UTC)")
        .arg(TimeText(facts.notBefore), TimeText(facts.notAfter));
}

QString PublicKeyText(const CertificateFacts &facts)
{
    if (!facts.keyBits)
        return QStringLiteral("无法解析");
    return QStringLiteral("%1 %2 位").arg(facts.keyAlgorithm).arg(*facts.keyBits);
}

QList<LabelledValue> DescribeSignatures(const SignatureReport &report)
{
    QList<LabelledValue> rows = {
        {QStringLiteral("签名方案"), SchemesPresentText(report)},
        {QStringLiteral("签名校验"), VerdictText(report)},
        {QStringLiteral("各方案校验"), SchemeLinesText(report), true},
    };
    if (report.signersByScheme.isEmpty()) {
        for (const SignerFacts &signer : report.signers)
            AppendSigner(rows, signer);
        return rows;
    }
    // Schemes signed by different signers: each block says whose scheme it is.
    for (const SchemeSigners &scheme : report.signersByScheme)
        for (const SignerFacts &signer : scheme.signers) {
            rows.append({QStringLiteral("签名者 (%1)").arg(scheme.scheme),
                         signer.certificate.parsed ? signer.certificate.subject
                                                   : QStringLiteral("证书无法解析")});
            AppendSigner(rows, signer);
        }
    return rows;
}
