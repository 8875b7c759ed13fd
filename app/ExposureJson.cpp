#include "ExposureJson.h"

#include "HoldingsJson.h"
#include "details/ExposureFindings.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonValue Boolean(const std::optional<bool> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

// The list a component is under: an activity-alias with the activities.
QString ListKey(ComponentKind kind)
{
    switch (kind) {
    case ComponentKind::Activity:
    case ComponentKind::ActivityAlias:
        return QStringLiteral("activities");
    case ComponentKind::Service:
        return QStringLiteral("services");
    case ComponentKind::Receiver:
        return QStringLiteral("receivers");
    case ComponentKind::Provider:
        break;
    }
    return QStringLiteral("providers");
}

QString ReasonKey(ExportedReason reason)
{
    switch (reason) {
    case ExportedReason::Declared:
        return QStringLiteral("declared");
    case ExportedReason::IntentFilter:
        return QStringLiteral("intent-filter");
    case ExportedReason::NoIntentFilter:
        return QStringLiteral("no-intent-filter");
    case ExportedReason::ProviderLegacy:
        return QStringLiteral("provider-sdk-16-default");
    case ExportedReason::ProviderDefault:
        return QStringLiteral("provider-default");
    case ExportedReason::Unresolved:
        break;
    }
    return QStringLiteral("unresolved");
}

QString PathKey(IntentFilter::DataPath::Kind kind)
{
    switch (kind) {
    case IntentFilter::DataPath::Exact:
        return QStringLiteral("path");
    case IntentFilter::DataPath::Prefix:
        return QStringLiteral("pathPrefix");
    case IntentFilter::DataPath::Pattern:
        break;
    }
    return QStringLiteral("pathPattern");
}

QJsonObject FilterObject(const IntentFilter &filter)
{
    QJsonArray paths;
    for (const IntentFilter::DataPath &path : filter.paths)
        paths.append(QJsonObject{{PathKey(path.kind), path.path}});
    return {
        {QStringLiteral("actions"), QJsonArray::fromStringList(filter.actions)},
        {QStringLiteral("categories"), QJsonArray::fromStringList(filter.categories)},
        {QStringLiteral("schemes"), QJsonArray::fromStringList(filter.schemes)},
        {QStringLiteral("hosts"), QJsonArray::fromStringList(filter.hosts)},
        {QStringLiteral("paths"), paths},
    };
}

QString DeciderKey(CleartextDecider decider)
{
    switch (decider) {
    case CleartextDecider::Manifest:
        return QStringLiteral("manifest");
    case CleartextDecider::TargetSdk:
        return QStringLiteral("targetSdk");
    case CleartextDecider::NetworkSecurityConfig:
        break;
    }
    return QStringLiteral("networkSecurityConfig");
}

} // namespace

QJsonValue ComponentsValue(const std::optional<PackageExposure> &exposure)
{
    if (!exposure)
        return {};
    QHash<QString, QJsonArray> lists;
    for (const DeclaredComponent &component : exposure->components.components) {
        QJsonArray filters;
        for (const IntentFilter &filter : component.intentFilters)
            filters.append(FilterObject(filter));
        QJsonObject object{
            {QStringLiteral("name"), component.name},
            {QStringLiteral("exported"), Boolean(component.exported)},
            {QStringLiteral("exportedReason"), ReasonKey(component.reason)},
            {QStringLiteral("permission"), TextOrNull(component.permission)},
            {QStringLiteral("intentFilters"), filters},
        };
        if (component.kind == ComponentKind::ActivityAlias)
            object.insert(QStringLiteral("targetActivity"), component.targetActivity);
        if (component.kind == ComponentKind::Provider) {
            object.insert(QStringLiteral("authorities"),
                          QJsonArray::fromStringList(component.authorities));
            object.insert(QStringLiteral("readPermission"), TextOrNull(component.readPermission));
            object.insert(QStringLiteral("writePermission"), TextOrNull(component.writePermission));
        }
        lists[ListKey(component.kind)].append(object);
    }
    QJsonObject components;
    for (const ComponentKind kind : {ComponentKind::Activity, ComponentKind::Service,
                                     ComponentKind::Receiver, ComponentKind::Provider})
        components.insert(ListKey(kind), lists.value(ListKey(kind)));
    return components;
}

QJsonValue LauncherActivityValue(const std::optional<PackageExposure> &exposure)
{
    return exposure ? TextOrNull(exposure->components.launcherActivity) : QJsonValue();
}

QJsonValue FlagsValue(const std::optional<PackageExposure> &exposure)
{
    if (!exposure)
        return {};
    const SecurityFlags &flags = exposure->flags;
    return QJsonObject{
        {QStringLiteral("debuggable"), Boolean(flags.debuggable)},
        {QStringLiteral("testOnly"), Boolean(flags.testOnly)},
        {QStringLiteral("allowBackup"), Boolean(flags.allowBackup)},
        {QStringLiteral("usesCleartextTraffic"), Boolean(flags.usesCleartextTraffic)},
        {QStringLiteral("cleartextDecidedBy"), DeciderKey(flags.cleartextDecidedBy)},
        {QStringLiteral("networkSecurityConfig"),
         flags.hasNetworkSecurityConfig ? QJsonValue(flags.networkSecurityConfig) : QJsonValue()},
        {QStringLiteral("extractNativeLibs"), Boolean(flags.extractNativeLibs)},
        {QStringLiteral("hasCode"), Boolean(flags.hasCode)},
        {QStringLiteral("sharedUserId"), TextOrNull(flags.sharedUserId)},
    };
}

QJsonValue FindingsValue(const std::optional<PackageExposure> &exposure, QDate today)
{
    if (!exposure)
        return {};
    QJsonArray findings;
    for (const Finding &finding : ExposureFindings(*exposure, today))
        findings.append(QJsonObject{{QStringLiteral("code"), finding.code},
                                    {QStringLiteral("severity"), SeverityKey(finding.severity)},
                                    {QStringLiteral("text"), finding.message}});
    return findings;
}
