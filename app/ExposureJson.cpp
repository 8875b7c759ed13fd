#include "ExposureJson.h"

#include "details/ExposureFindings.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonValue Boolean(const std::optional<bool> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue TextOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString KindKey(ComponentKind kind)
{
    switch (kind) {
    case ComponentKind::Activity:
        return QStringLiteral("activity");
    case ComponentKind::ActivityAlias:
        return QStringLiteral("activity-alias");
    case ComponentKind::Service:
        return QStringLiteral("service");
    case ComponentKind::Receiver:
        return QStringLiteral("receiver");
    case ComponentKind::Provider:
        break;
    }
    return QStringLiteral("provider");
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
    QJsonArray components;
    for (const DeclaredComponent &component : exposure->components.components) {
        const bool provider = component.kind == ComponentKind::Provider;
        QJsonArray filters;
        for (const IntentFilter &filter : component.intentFilters)
            filters.append(FilterObject(filter));
        components.append(QJsonObject{
            {QStringLiteral("kind"), KindKey(component.kind)},
            {QStringLiteral("name"), component.name},
            {QStringLiteral("exported"), Boolean(component.exported)},
            {QStringLiteral("exportedReason"), ReasonKey(component.reason)},
            {QStringLiteral("permission"), TextOrNull(component.permission)},
            {QStringLiteral("readPermission"),
             provider ? TextOrNull(component.readPermission) : QJsonValue()},
            {QStringLiteral("writePermission"),
             provider ? TextOrNull(component.writePermission) : QJsonValue()},
            {QStringLiteral("targetActivity"), component.kind == ComponentKind::ActivityAlias
                                                   ? QJsonValue(component.targetActivity)
                                                   : QJsonValue()},
            {QStringLiteral("authorities"),
             provider ? QJsonValue(QJsonArray::fromStringList(component.authorities))
                      : QJsonValue()},
            {QStringLiteral("intentFilters"), filters},
        });
    }
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
                                    {QStringLiteral("message"), finding.message}});
    return findings;
}
