#include "UpdateChanges.h"

#include "details/FileSizeText.h"
#include "details/PackageDetails.h"
#include "details/ShownDetails.h"

#include <QSet>
#include <algorithm>

namespace {

template <typename Value>
std::optional<Change<Value>> IfDiffers(const Value &before, const Value &after)
{
    return before == after ? std::nullopt : std::optional(Change<Value>{before, after});
}

QString SharedUserId(const PackageDetails &details)
{
    return details.manifest ? details.manifest->sharedUserId : QString();
}

QStringList Sorted(QStringList items)
{
    items.sort();
    return items;
}

QString Shown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("无") : EscapeControls(value);
}

QString Shown(const QStringList &values)
{
    QStringList shown;
    for (const QString &value : values)
        shown.append(EscapeControls(value));
    return shown.isEmpty() ? QStringLiteral("无") : shown.join(QStringLiteral(", "));
}

// "最低 SDK 提高：21 → 24"; the direction only when both are numbers.
QString SdkLine(const QString &name, const Change<QString> &change)
{
    bool beforeNumber = false, afterNumber = false;
    const int before = change.before.toInt(&beforeNumber);
    const int after = change.after.toInt(&afterNumber);
    const QString direction = !beforeNumber || !afterNumber ? QString()
                              : after > before              ? QStringLiteral(" 提高")
                                                            : QStringLiteral(" 降低");
    return QStringLiteral("%1%2：%3 → %4")
        .arg(name, direction, Shown(change.before), Shown(change.after));
}

QString SizeLine(const Change<qint64> &change)
{
    const qint64 difference = change.after - change.before;
    return QStringLiteral("文件大小：%1 → %2，%3 %4")
        .arg(FileSizeText(change.before), FileSizeText(change.after),
             difference > 0 ? QStringLiteral("增加") : QStringLiteral("减少"),
             FileSizeText(qAbs(difference)));
}

} // namespace

UpdateChanges CompareFacts(const PackageDetails &oldDetails, const PackageDetails &newDetails)
{
    const QStringList &before = oldDetails.facts.permissionNames;
    const QStringList &after = newDetails.facts.permissionNames;
    const QSet<QString> hadBefore(before.cbegin(), before.cend());
    const QSet<QString> hasAfter(after.cbegin(), after.cend());
    UpdateChanges changes;
    std::copy_if(after.begin(), after.end(), std::back_inserter(changes.permissionsAdded),
                 [&](const QString &name) { return !hadBefore.contains(name); });
    std::copy_if(before.begin(), before.end(), std::back_inserter(changes.permissionsRemoved),
                 [&](const QString &name) { return !hasAfter.contains(name); });
    changes.minSdk = IfDiffers(oldDetails.facts.minSdk, newDetails.facts.minSdk);
    changes.targetSdk = IfDiffers(oldDetails.facts.targetSdk, newDetails.facts.targetSdk);
    if (Sorted(oldDetails.facts.nativePlatforms) != Sorted(newDetails.facts.nativePlatforms))
        changes.abis = {oldDetails.facts.nativePlatforms, newDetails.facts.nativePlatforms};
    changes.pageSize16k = IfDiffers(PageSizeReadiness(oldDetails), PageSizeReadiness(newDetails));
    changes.size = IfDiffers(oldDetails.size, newDetails.size);
    changes.sharedUserId = IfDiffers(SharedUserId(oldDetails), SharedUserId(newDetails));
    return changes;
}

QStringList ChangeLines(const UpdateChanges &changes)
{
    QStringList lines;
    if (changes.minSdk)
        lines.append(SdkLine(QStringLiteral("最低 SDK"), *changes.minSdk));
    if (changes.targetSdk)
        lines.append(SdkLine(QStringLiteral("目标 SDK"), *changes.targetSdk));
    for (const QString &name : changes.permissionsAdded)
        lines.append(QStringLiteral("新增权限：") + EscapeControls(name));
    for (const QString &name : changes.permissionsRemoved)
        lines.append(QStringLiteral("移除权限：") + EscapeControls(name));
    if (changes.abis)
        lines.append(QStringLiteral("原生平台：%1 → %2")
                         .arg(Shown(changes.abis->before), Shown(changes.abis->after)));
    if (changes.pageSize16k)
        lines.append(QStringLiteral("16 KB 页面：%1 → %2")
                         .arg(PageSizeReadinessText(changes.pageSize16k->before),
                              PageSizeReadinessText(changes.pageSize16k->after)));
    if (changes.size)
        lines.append(SizeLine(*changes.size));
    if (changes.sharedUserId)
        lines.append(
            QStringLiteral("共享用户 ID：%1 → %2")
                .arg(Shown(changes.sharedUserId->before), Shown(changes.sharedUserId->after)));
    return lines;
}
