#include "ComparisonView.h"

#include "base/NarrowText.h"
#include "details/BundleText.h"
#include "details/FileSizeText.h"
#include "details/ShownDetails.h"
#include "signing/CertificateFacts.h"

namespace {

// A package's values in the order of the rows; empty where it could not be read.
struct ShownValues
{
    QString path;
    QString outcome;
    QStringList values;
};

QString OrNone(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("无") : text;
}

const QStringList Labels = {
    QStringLiteral("应用名称"),       QStringLiteral("包名"),
    QStringLiteral("版本号"),         QStringLiteral("版本代码"),
    QStringLiteral("最低 SDK"),       QStringLiteral("目标 SDK"),
    QStringLiteral("共享用户 ID"),    QStringLiteral("权限"),
    QStringLiteral("原生平台"),       QStringLiteral("16 KB 页面"),
    QStringLiteral("包类型"),         QStringLiteral("文件大小"),
    QStringLiteral("SHA-256"),        QStringLiteral("签名校验"),
    QStringLiteral("签名者 SHA-256"), QStringLiteral("轮换前证书 SHA-256"),
};
// Rows of Labels that hold one item a line.
const QStringList ListLabels = {QStringLiteral("权限"), QStringLiteral("签名者 SHA-256"),
                                QStringLiteral("轮换前证书 SHA-256")};

// A package's values; `installing` for the new one, whose version code counts as Android holds
// an update to it.
ShownValues Shown(const ComparedPackage &package, bool installing)
{
    ShownValues shown{EscapeControls(FromNarrow(package.path)), QStringLiteral("正常"), {}};
    if (!package.read()) {
        shown.outcome = package.unreadable.isEmpty() ? QStringLiteral("文件已更改，请重新打开")
                                                     : package.unreadable;
        shown.values.resize(Labels.size());
        return shown;
    }
    const PackageDetails details = ShownDetails(package.details);
    const PackageFacts &facts = details.facts;
    QStringList signers, former;
    for (const SignerFacts &signer : details.signatures.newestPlatformSigners()) {
        // As apksigner prints them, so that the old and the new fit side by side.
        signers.append(PlainHex(signer.certificate.sha256));
        for (const QString &sha256 : signer.formerSha256)
            former.append(PlainHex(sha256));
    }
    const std::optional<qint64> versionCode = UpdateVersionCode(details, installing);
    shown.values = {
        facts.label,
        facts.packageName,
        facts.versionName,
        versionCode ? QString::number(*versionCode) : QString(),
        facts.minSdk,
        facts.targetSdk,
        OrNone(details.manifest ? EscapeControls(details.manifest->sharedUserId) : QString()),
        facts.permissions.join(u'\n'),
        OrNone(facts.nativePlatforms.join(QStringLiteral(", "))),
        NativeLibrarySection(details).rows.last().value,
        BundleKindText(details.kind),
        FileSizeText(details.size),
        QString::fromLatin1(details.digests.sha256),
        PackageVerdictText(details),
        OrNone(signers.join(u'\n')),
        OrNone(former.join(u'\n')),
    };
    return shown;
}

} // namespace

QList<ComparedRow> ComparedRows(const ComparedPackage &oldPackage,
                                const ComparedPackage &newPackage)
{
    const ShownValues before = Shown(oldPackage, false);
    const ShownValues after = Shown(newPackage, true);
    QList<ComparedRow> rows = {{QStringLiteral("文件"), before.path, after.path}};
    // Said only when it is news: a comparison is made of packages that were read.
    if (!oldPackage.read() || !newPackage.read())
        rows.append({QStringLiteral("结果"), before.outcome, after.outcome});
    if (!oldPackage.read() && !newPackage.read())
        return rows;
    for (qsizetype i = 0; i < Labels.size(); ++i)
        rows.append({Labels[i], before.values[i], after.values[i], ListLabels.contains(Labels[i])});
    return rows;
}

DetailsSection VerdictSection(const UpdateComparison &comparison)
{
    DetailsSection section{QString(), {{QStringLiteral("结论"), comparison.verdictText()}}};
    if (!comparison.updatable()) {
        QStringList reasons;
        for (const UpdateReason &reason : comparison.reasons)
            reasons.append(reason.text);
        section.rows.append({QStringLiteral("原因"), reasons.join(u'\n'), true});
    }
    if (comparison.bothRead) {
        const QStringList changes = ChangeLines(comparison.changes);
        section.rows.append(
            {QStringLiteral("变化"), OrNone(changes.join(u'\n')), !changes.isEmpty()});
    }
    return section;
}

QList<DetailsSection> ComparisonSections(const UpdateComparison &comparison,
                                         const QList<ComparedRow> &rows)
{
    DetailsSection before{QStringLiteral("旧包"), {}};
    DetailsSection after{QStringLiteral("新包"), {}};
    for (const ComparedRow &row : rows) {
        before.rows.append({row.label, row.oldValue, row.isList});
        after.rows.append({row.label, row.newValue, row.isList});
    }
    return {VerdictSection(comparison), before, after};
}
