#include "ExposureFindings.h"

#include "TargetSdkText.h"
#include "apk/PlayTargetSdk.h"

namespace {

// How many components `counts` and the first one's name.
struct Counted
{
    qsizetype count = 0;
    QString first;
};

template <typename Predicate> Counted Count(const DeclaredComponents &declared, Predicate matches)
{
    Counted counted;
    for (const DeclaredComponent &component : declared.components)
        if (matches(component) && counted.count++ == 0)
            counted.first = component.name;
    return counted;
}

} // namespace

QList<Finding> ExposureFindings(const PackageExposure &exposure, QDate today)
{
    QList<Finding> findings;
    const SecurityFlags &flags = exposure.flags;
    if (flags.debuggable.value_or(false))
        findings.append({QStringLiteral("debuggable"), FindingSeverity::High,
                         QStringLiteral("应用可调试（android:debuggable），任何人都能附加调试器、"
                                        "读取它的数据。")});
    const Counted missing = Count(exposure.components, [](const DeclaredComponent &component) {
        return component.missingExported;
    });
    if (missing.count > 0)
        findings.append(
            {QStringLiteral("missing-exported"), FindingSeverity::High,
             QStringLiteral("%1 个组件（如 %2）有 intent-filter 却未声明 android:exported，"
                            "目标 SDK 31（Android 12）起 Android 拒绝安装。")
                 .arg(missing.count)
                 .arg(missing.first)});
    if (flags.testOnly.value_or(false))
        findings.append({QStringLiteral("test-only"), FindingSeverity::Medium,
                         QStringLiteral("仅供测试（android:testOnly），只能通过 adb 安装，"
                                        "不应发布。")});
    if (flags.usesCleartextTraffic.value_or(false))
        findings.append({QStringLiteral("cleartext-traffic"), FindingSeverity::Medium,
                         QStringLiteral("允许明文（未加密的 HTTP）网络流量。")});
    const Counted open = Count(exposure.components, [](const DeclaredComponent &component) {
        return component.exported.value_or(false) && !IsGuarded(component);
    });
    if (open.count > 0)
        findings.append({QStringLiteral("exported-without-permission"), FindingSeverity::Medium,
                         QStringLiteral("%1 个组件（如 %2）已导出且没有权限保护，"
                                        "任何应用都能调用。")
                             .arg(open.count)
                             .arg(open.first)});
    if (const std::optional<int> target = exposure.sdk.target) {
        const QString note = PlayTargetSdkNote(*target, today);
        const bool forUpdates = *target < RequiredTargetSdk(today, PlaySubmission::AppUpdate);
        if (!note.isEmpty())
            findings.append({forUpdates ? QStringLiteral("play-target-sdk-update")
                                        : QStringLiteral("play-target-sdk-new"),
                             forUpdates ? FindingSeverity::Medium : FindingSeverity::Low,
                             QStringLiteral("目标 SDK %1 %2。").arg(*target).arg(note)});
    }
    return findings;
}

QString SeverityText(FindingSeverity severity)
{
    switch (severity) {
    case FindingSeverity::High:
        return QStringLiteral("高");
    case FindingSeverity::Medium:
        return QStringLiteral("中");
    case FindingSeverity::Low:
        break;
    }
    return QStringLiteral("低");
}

QString SeverityKey(FindingSeverity severity)
{
    switch (severity) {
    case FindingSeverity::High:
        return QStringLiteral("high");
    case FindingSeverity::Medium:
        return QStringLiteral("medium");
    case FindingSeverity::Low:
        break;
    }
    return QStringLiteral("low");
}
