#include "PermissionSection.h"

#include "FailureText.h"
#include "PackageDetails.h"
#include "PackageFacts.h"
#include "ShownDetails.h"
#include "apk/PlatformPackage.h"
#include "apk/ProtectionLevel.h"
#include "apk/RequestedPermissions.h"

namespace {

const QString Title = QStringLiteral("权限");
const QString RequestedLabel = QStringLiteral("请求的权限");
const QString SourceLabel = QStringLiteral("级别来源");

bool IsDangerous(const std::optional<quint32> &level)
{
    return level && (*level & ProtectionLevel::BaseMask) == ProtectionLevel::Dangerous;
}

// The label in words: the text, or the resource it names when that did not resolve.
QString LabelText(const PermissionDefinition &definition)
{
    if (!definition.label.isEmpty())
        return EscapeControls(definition.label);
    if (definition.labelResource)
        return QStringLiteral("资源引用 @0x%1")
            .arg(definition.labelResource, 8, 16, QLatin1Char('0'));
    return {};
}

// Pieces joined by "，", the empty ones left out.
QString Joined(const QStringList &pieces)
{
    QStringList kept = pieces;
    kept.removeAll(QString());
    return kept.join(QStringLiteral("，"));
}

QString RequestedLine(const RequestedPermission &permission)
{
    const QString name =
        PermissionText(EscapeControls(permission.name), EscapeControls(permission.maxSdk));
    QString level;
    switch (permission.source) {
    case PermissionSource::Platform:
        level = ProtectionLevelText(permission.definition.protectionLevel);
        break;
    case PermissionSource::Package:
        level = ProtectionLevelText(permission.definition.protectionLevel) +
                QStringLiteral("（本应用声明）");
        break;
    case PermissionSource::Unknown:
        level = QStringLiteral("未知（其他应用或更新的平台定义）");
        break;
    }
    return name + QStringLiteral("：") + Joined({level, LabelText(permission.definition)});
}

QString DeclaredLine(const PermissionDefinition &definition)
{
    const QString group = definition.group.isEmpty()
                              ? QString()
                              : QStringLiteral("分组 ") + EscapeControls(definition.group);
    return EscapeControls(definition.name) + QStringLiteral("：") +
           Joined({ProtectionLevelText(definition.protectionLevel), group, LabelText(definition)});
}

QStringList Escaped(QStringList lines)
{
    for (QString &line : lines)
        line = EscapeControls(line);
    return lines;
}

DetailsRow ListRow(const QString &label, const QStringList &lines)
{
    if (lines.isEmpty())
        return {label, QStringLiteral("无")};
    return {label, lines.join(u'\n'), true};
}

QString LevelsSource()
{
    const Failure &problem = ThePlatformPackage().problem;
    return !problem.failed()
               ? PlatformPermissionsRelease() + QStringLiteral(" 的 framework-res.apk")
               : FailureText(problem) + QStringLiteral("，平台权限的级别未知");
}

} // namespace

QString ProtectionLevelText(std::optional<quint32> level)
{
    if (!level)
        return QStringLiteral("未知");
    QString base;
    switch (*level & ProtectionLevel::BaseMask) {
    case ProtectionLevel::Normal:
        base = QStringLiteral("普通");
        break;
    case ProtectionLevel::Dangerous:
        base = QStringLiteral("危险");
        break;
    case ProtectionLevel::Signature:
        base = QStringLiteral("签名");
        break;
    case ProtectionLevel::SignatureOrSystem:
        base = QStringLiteral("签名或系统");
        break;
    case ProtectionLevel::Internal:
        base = QStringLiteral("内部");
        break;
    default:
        base = QStringLiteral("未知级别 %1").arg(*level & ProtectionLevel::BaseMask);
        break;
    }
    const QString flags = ProtectionFlagNames(*level).mid(1);
    return flags.isEmpty() ? base : base + QStringLiteral("（") + flags + QStringLiteral("）");
}

DetailsSection PermissionSection(const PackageDetails &details)
{
    if (details.contentsPending && !details.fileChanged)
        return {Title, {{RequestedLabel, PendingText()}}};
    // The names the tool printed, which need no archive.
    if (details.fileChanged || !details.manifest)
        return {Title,
                {ListRow(RequestedLabel, Escaped(details.facts.permissions)),
                 {SourceLabel, details.fileChanged ? FileChangedText()
                                                   : QStringLiteral("无法读取清单，级别未知")}}};
    const QList<PermissionDefinition> declared =
        details.holdings ? details.holdings->declaredPermissions : QList<PermissionDefinition>();
    QStringList lines;
    QList<qsizetype> dangerous;
    for (const RequestedPermission &permission :
         RankRequestedPermissions(*details.manifest, details.facts.permissionNames, declared)) {
        if (IsDangerous(permission.definition.protectionLevel))
            dangerous.append(lines.size());
        lines.append(RequestedLine(permission));
    }
    DetailsRow requested = ListRow(RequestedLabel, lines);
    requested.warningLines = dangerous;
    QStringList declaredLines;
    for (const PermissionDefinition &definition : declared)
        declaredLines.append(DeclaredLine(definition));
    return {Title,
            {requested,
             {QStringLiteral("危险权限"), QStringLiteral("%1 个").arg(dangerous.size())},
             ListRow(QStringLiteral("声明的权限"), declaredLines),
             {SourceLabel, LevelsSource()}}};
}
