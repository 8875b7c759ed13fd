#include "ExposureSections.h"

#include "ExposureFindings.h"
#include "HoldingsSections.h"
#include "PackageDetails.h"

namespace {

// The section's one row when the exposure is not known; nothing when it is.
std::optional<DetailsSection> UnknownExposure(const QString &title, const QString &label,
                                              const PackageDetails &details)
{
    if (std::optional<DetailsSection> unknown = UnknownHoldings(title, label, details))
        return unknown;
    if (!details.holdings->exposure)
        return DetailsSection{title, {{label, QStringLiteral("无法读取清单")}}};
    return std::nullopt;
}

QString KindText(ComponentKind kind)
{
    switch (kind) {
    case ComponentKind::Activity:
        return QStringLiteral("活动");
    case ComponentKind::ActivityAlias:
        return QStringLiteral("活动别名");
    case ComponentKind::Service:
        return QStringLiteral("服务");
    case ComponentKind::Receiver:
        return QStringLiteral("广播接收器");
    case ComponentKind::Provider:
        break;
    }
    return QStringLiteral("内容提供器");
}

QString ExportedText(const DeclaredComponent &component)
{
    switch (component.reason) {
    case ExportedReason::Declared:
        return *component.exported ? QStringLiteral("已导出（声明）")
                                   : QStringLiteral("未导出（声明）");
    case ExportedReason::IntentFilter:
        return QStringLiteral("已导出（有 intent-filter，未声明）");
    case ExportedReason::NoIntentFilter:
        return QStringLiteral("未导出（无 intent-filter）");
    case ExportedReason::ProviderLegacy:
        return QStringLiteral("已导出（SDK 16 及以下的默认）");
    case ExportedReason::ProviderDefault:
        return QStringLiteral("未导出（默认）");
    case ExportedReason::Unresolved:
        break;
    }
    return QStringLiteral("导出状态未知（引用无法解析）");
}

QString PermissionText(const DeclaredComponent &component)
{
    if (component.kind == ComponentKind::Provider &&
        component.readPermission != component.writePermission) {
        const auto named = [](const QString &permission) {
            return permission.isEmpty() ? QStringLiteral("无") : permission;
        };
        return QStringLiteral("读权限 %1，写权限 %2")
            .arg(named(component.readPermission), named(component.writePermission));
    }
    const QString &permission =
        component.kind == ComponentKind::Provider ? component.readPermission : component.permission;
    return permission.isEmpty() ? QStringLiteral("无权限")
                                : QStringLiteral("权限 %1").arg(permission);
}

QString FilterText(const IntentFilter &filter)
{
    QStringList parts;
    const auto add = [&parts](const QString &what, const QStringList &items) {
        if (!items.isEmpty())
            parts.append(what + u' ' + items.join(QStringLiteral("、")));
    };
    add(QStringLiteral("动作"), filter.actions);
    add(QStringLiteral("类别"), filter.categories);
    add(QStringLiteral("协议"), filter.schemes);
    add(QStringLiteral("主机"), filter.hosts);
    QStringList paths;
    for (const IntentFilter::DataPath &path : filter.paths)
        paths.append(path.kind == IntentFilter::DataPath::Exact ? path.path
                     : path.kind == IntentFilter::DataPath::Prefix
                         ? QStringLiteral("前缀 ") + path.path
                         : QStringLiteral("模式 ") + path.path);
    add(QStringLiteral("路径"), paths);
    return parts.isEmpty() ? QStringLiteral("（空）") : parts.join(QStringLiteral("；"));
}

// One component's line, and whether it stands out.
std::pair<QString, bool> ComponentLine(const DeclaredComponent &component)
{
    QStringList parts = {component.name.isEmpty() ? QStringLiteral("（未命名）") : component.name};
    if (component.kind == ComponentKind::ActivityAlias)
        parts.append(QStringLiteral("指向 %1").arg(component.targetActivity));
    if (!component.authorities.isEmpty())
        parts.append(QStringLiteral("授权方 %1").arg(component.authorities.join(u';')));
    parts.append(ExportedText(component));
    const bool open = component.exported.value_or(false) && !IsGuarded(component);
    parts.append(PermissionText(component));
    if (open)
        parts.append(QStringLiteral("任何应用都能调用"));
    if (component.missingExported)
        parts.append(QStringLiteral("目标 SDK 31 起须声明 android:exported，Android 拒绝安装"));
    if (!component.enabled)
        parts.append(QStringLiteral("已停用"));
    for (qsizetype index = 0; index < component.intentFilters.size(); ++index)
        parts.append(QStringLiteral("过滤器 %1：%2")
                         .arg(index + 1)
                         .arg(FilterText(component.intentFilters[index])));
    return {parts.join(QStringLiteral("，")), open || component.missingExported};
}

QString YesNo(const std::optional<bool> &value)
{
    return !value   ? QStringLiteral("未知（引用无法解析）")
           : *value ? QStringLiteral("是")
                    : QStringLiteral("否");
}

QString CleartextText(const SecurityFlags &flags)
{
    switch (flags.cleartextDecidedBy) {
    case CleartextDecider::NetworkSecurityConfig:
        return QStringLiteral("由网络安全配置决定");
    case CleartextDecider::Manifest:
        return !flags.usesCleartextTraffic   ? YesNo(flags.usesCleartextTraffic)
               : *flags.usesCleartextTraffic ? QStringLiteral("允许（声明）")
                                             : QStringLiteral("不允许（声明）");
    case CleartextDecider::TargetSdk:
        break;
    }
    return !flags.usesCleartextTraffic ? QStringLiteral("未知（目标 SDK 无法解析）")
           : *flags.usesCleartextTraffic ? QStringLiteral("允许（目标 SDK 低于 28 时的默认）")
                                         : QStringLiteral("不允许（目标 SDK 28 起的默认）");
}

} // namespace

DetailsSection ComponentSection(const PackageDetails &details)
{
    const QString title = QStringLiteral("组件");
    const QString launcherLabel = QStringLiteral("启动活动");
    if (const std::optional<DetailsSection> unknown = UnknownExposure(title, title, details))
        return *unknown;
    const DeclaredComponents &declared = details.holdings->exposure->components;
    DetailsSection section{
        title,
        {{launcherLabel,
          declared.launcherActivity.isEmpty() ? QStringLiteral("无") : declared.launcherActivity}}};
    qsizetype open = 0;
    for (const ComponentKind kind :
         {ComponentKind::Activity, ComponentKind::ActivityAlias, ComponentKind::Service,
          ComponentKind::Receiver, ComponentKind::Provider}) {
        DetailsRow row{KindText(kind), {}, true};
        QStringList lines;
        for (const DeclaredComponent &component : declared.components) {
            if (component.kind != kind)
                continue;
            const auto [line, standsOut] = ComponentLine(component);
            if (standsOut)
                row.warningLines.append(lines.size());
            open += component.exported.value_or(false) && !IsGuarded(component);
            lines.append(line);
        }
        if (lines.isEmpty())
            continue;
        row.value = lines.join(u'\n');
        section.rows.append(row);
    }
    section.rows.append({QStringLiteral("导出且无权限保护"), QString::number(open)});
    return section;
}

DetailsSection SecurityFlagSection(const PackageDetails &details)
{
    const QString title = QStringLiteral("安全标志");
    if (const std::optional<DetailsSection> unknown = UnknownExposure(title, title, details))
        return *unknown;
    const SecurityFlags &flags = details.holdings->exposure->flags;
    return {
        title,
        {
            {QStringLiteral("可调试（debuggable）"), YesNo(flags.debuggable)},
            {QStringLiteral("仅供测试（testOnly）"), YesNo(flags.testOnly)},
            {QStringLiteral("允许备份（allowBackup）"), YesNo(flags.allowBackup)},
            {QStringLiteral("明文流量（usesCleartextTraffic）"), CleartextText(flags)},
            {QStringLiteral("网络安全配置（networkSecurityConfig）"),
             flags.hasNetworkSecurityConfig ? flags.networkSecurityConfig : QStringLiteral("无")},
            {QStringLiteral("提取原生库（extractNativeLibs）"), YesNo(flags.extractNativeLibs)},
            {QStringLiteral("包含代码（hasCode）"), YesNo(flags.hasCode)},
            {QStringLiteral("共享用户 ID（sharedUserId）"),
             flags.sharedUserId.isEmpty() ? QStringLiteral("无") : flags.sharedUserId},
        }};
}

DetailsSection FindingSection(const PackageDetails &details, QDate today)
{
    const QString title = QStringLiteral("发现");
    if (const std::optional<DetailsSection> unknown = UnknownExposure(title, title, details))
        return *unknown;
    const QList<Finding> findings = ExposureFindings(*details.holdings->exposure, today);
    if (findings.isEmpty())
        return {title, {{title, QStringLiteral("无")}}};
    DetailsRow row{title, {}, true};
    QStringList lines;
    for (const Finding &finding : findings) {
        if (finding.severity == FindingSeverity::High)
            row.warningLines.append(lines.size());
        lines.append(QStringLiteral("[%1] %2（%3）")
                         .arg(SeverityText(finding.severity), finding.message, finding.code));
    }
    row.value = lines.join(u'\n');
    return {title, {row}};
}
