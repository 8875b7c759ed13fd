#include "PermissionsJson.h"

#include "HoldingsJson.h"
#include "apk/PlatformPackage.h"
#include "apk/ProtectionLevel.h"
#include "apk/RequestedPermissions.h"

#include <QJsonArray>

namespace {

QJsonValue LevelValue(const std::optional<quint32> &level)
{
    return level ? QJsonValue(ProtectionLevelName(*level)) : QJsonValue();
}

// The label, or the resource it names as aapt writes one when that did not resolve.
QJsonValue LabelValue(const PermissionDefinition &definition)
{
    if (definition.label.isEmpty() && definition.labelResource)
        return QStringLiteral("@0x%1").arg(definition.labelResource, 8, 16, QLatin1Char('0'));
    return TextOrNull(definition.label);
}

// Who defines it: "platform", "package", or null when neither does.
QJsonValue DefinedBy(PermissionSource source)
{
    switch (source) {
    case PermissionSource::Platform:
        return QStringLiteral("platform");
    case PermissionSource::Package:
        return QStringLiteral("package");
    case PermissionSource::Unknown:
        break;
    }
    return {};
}

QJsonValue MaxSdkValue(const QString &maxSdk)
{
    bool number = false;
    const int level = maxSdk.toInt(&number);
    return number ? QJsonValue(level) : QJsonValue();
}

} // namespace

QJsonObject PermissionsObject(const std::optional<ApkManifest> &manifest,
                              const QStringList &toolNamed,
                              const std::optional<ApkHoldings> &holdings)
{
    const QJsonValue none;
    if (!manifest)
        return {{QStringLiteral("permissionDetails"), none},
                {QStringLiteral("declaredPermissions"), none},
                {QStringLiteral("permissionLevelsFrom"), none}};
    const QList<PermissionDefinition> declared =
        holdings ? holdings->declaredPermissions : QList<PermissionDefinition>();
    QJsonArray requested;
    for (const RequestedPermission &permission :
         RankRequestedPermissions(*manifest, toolNamed, declared))
        requested.append(QJsonObject{
            {QStringLiteral("name"), permission.name},
            {QStringLiteral("maxSdkVersion"), MaxSdkValue(permission.maxSdk)},
            {QStringLiteral("protectionLevel"), LevelValue(permission.definition.protectionLevel)},
            {QStringLiteral("definedBy"), DefinedBy(permission.source)},
            {QStringLiteral("label"), LabelValue(permission.definition)},
            {QStringLiteral("description"), TextOrNull(permission.definition.description)},
        });
    QJsonArray declaring;
    for (const PermissionDefinition &definition : declared)
        declaring.append(QJsonObject{
            {QStringLiteral("name"), definition.name},
            {QStringLiteral("protectionLevel"), LevelValue(definition.protectionLevel)},
            {QStringLiteral("group"), TextOrNull(definition.group)},
            {QStringLiteral("label"), LabelValue(definition)},
        });
    return {{QStringLiteral("permissionDetails"), requested},
            {QStringLiteral("declaredPermissions"),
             holdings && holdings->manifest ? QJsonValue(declaring) : none},
            {QStringLiteral("permissionLevelsFrom"), !ThePlatformPackage().problem.failed()
                                                         ? QJsonValue(PlatformPermissionsRelease())
                                                         : none}};
}
