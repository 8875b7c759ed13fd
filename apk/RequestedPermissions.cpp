#include "RequestedPermissions.h"

#include <QSet>

QList<RequestedPermission> RankRequestedPermissions(const ApkManifest &manifest,
                                                    const QStringList &alsoRequested,
                                                    const QList<PermissionDefinition> &declared)
{
    const QHash<QString, PermissionDefinition> &platform = ThePlatformPermissions();
    QHash<QString, const PermissionDefinition *> own;
    for (const PermissionDefinition &definition : declared)
        own.insert(definition.name, &definition);
    QList<RequestedPermission> requested;
    QSet<QString> seen;
    QList<ApkManifest::Permission> asked = manifest.permissions;
    // Android adds only its own; the tool writes a name with its control characters escaped,
    // which would otherwise count as one more.
    for (const QString &name : alsoRequested)
        if (platform.contains(name))
            asked.append({name, QString()});
    for (const ApkManifest::Permission &permission : asked) {
        if (seen.contains(permission.name))
            continue;
        seen.insert(permission.name);
        RequestedPermission ranked{
            permission.name, permission.maxSdk, PermissionSource::Unknown, {}};
        ranked.definition.name = permission.name;
        ranked.definition.protectionLevel = std::nullopt;
        if (const auto found = platform.constFind(permission.name); found != platform.cend()) {
            ranked.source = PermissionSource::Platform;
            ranked.definition = *found;
        } else if (const PermissionDefinition *definition = own.value(permission.name)) {
            ranked.source = PermissionSource::Package;
            ranked.definition = *definition;
        }
        requested.append(std::move(ranked));
    }
    return requested;
}
