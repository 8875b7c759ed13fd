#include "Compare.h"

#include "ReportRecord.h"
#include "base/NarrowText.h"
#include "compare/ComparisonView.h"
#include "compare/SizeChanges.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace {

QJsonValue OldAndNew(const QJsonValue &before, const QJsonValue &after)
{
    return QJsonObject{{QStringLiteral("old"), before}, {QStringLiteral("new"), after}};
}

// A change as the records give both values; null when nothing changed.
QJsonValue RecordChange(bool changed, const QJsonObject &before, const QJsonObject &after,
                        const QString &key)
{
    return changed ? OldAndNew(before.value(key), after.value(key)) : QJsonValue();
}

QJsonObject ChangesObject(const UpdateChanges &changes, const QJsonObject &before,
                          const QJsonObject &after)
{
    const std::optional<Change<QString>> &sharedUser = changes.sharedUserId;
    const auto orNull = [](const QString &text) {
        return text.isEmpty() ? QJsonValue() : QJsonValue(text);
    };
    return {
        {QStringLiteral("permissionsAdded"), QJsonArray::fromStringList(changes.permissionsAdded)},
        {QStringLiteral("permissionsRemoved"),
         QJsonArray::fromStringList(changes.permissionsRemoved)},
        {QStringLiteral("minSdk"),
         RecordChange(changes.minSdk.has_value(), before, after, QStringLiteral("minSdk"))},
        {QStringLiteral("targetSdk"),
         RecordChange(changes.targetSdk.has_value(), before, after, QStringLiteral("targetSdk"))},
        {QStringLiteral("abis"),
         RecordChange(changes.abis.has_value(), before, after, QStringLiteral("abis"))},
        {QStringLiteral("pageSize16k"), RecordChange(changes.pageSize16k.has_value(), before, after,
                                                     QStringLiteral("pageSize16k"))},
        {QStringLiteral("size"),
         RecordChange(changes.size.has_value(), before, after, QStringLiteral("size"))},
        {QStringLiteral("sharedUserId"),
         sharedUser ? OldAndNew(orNull(sharedUser->before), orNull(sharedUser->after))
                    : QJsonValue()},
    };
}

QJsonObject OldNewChange(const Change<qint64> &change)
{
    return {{QStringLiteral("old"), change.before},
            {QStringLiteral("new"), change.after},
            {QStringLiteral("change"), change.after - change.before}};
}

QJsonValue SizeChangesValue(const std::optional<SizeChanges> &changes)
{
    if (!changes)
        return {};
    QJsonObject byCategory;
    for (int category = 0; category < SizeCategoryCount; ++category)
        byCategory.insert(CategoryKey(SizeCategory(category)),
                          OldNewChange(changes->byCategory[std::size_t(category)]));
    QJsonArray entries;
    for (const SizeChanges::Entry &entry : changes->entries) {
        QJsonObject object = OldNewChange(entry.stored);
        object.insert(QStringLiteral("name"), FromNarrow(entry.name));
        entries.append(object);
    }
    return QJsonObject{{QStringLiteral("byCategory"), byCategory},
                       {QStringLiteral("entries"), entries}};
}

QByteArray JsonOf(const UpdateComparison &comparison, const QJsonObject &before,
                  const QJsonObject &after, const std::optional<SizeChanges> &sizes)
{
    QJsonArray reasons;
    for (const UpdateReason &reason : comparison.reasons)
        reasons.append(QJsonObject{{QStringLiteral("code"), reason.code},
                                   {QStringLiteral("text"), reason.text}});
    const QJsonObject object{
        {QStringLiteral("old"), before},
        {QStringLiteral("new"), after},
        {QStringLiteral("updatable"), comparison.updatable()},
        {QStringLiteral("reasons"), reasons},
        {QStringLiteral("changes"),
         comparison.bothRead ? QJsonValue(ChangesObject(comparison.changes, before, after))
                             : QJsonValue()},
        {QStringLiteral("sizeChanges"), SizeChangesValue(sizes)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int RunCompare(const CompareRequest &request)
{
    const PackageRecord before = ReadPackageRecord(request.oldPath);
    const PackageRecord after = ReadPackageRecord(request.newPath);
    const ComparedPackage oldPackage = AsCompared(before);
    const ComparedPackage newPackage = AsCompared(after);
    const UpdateComparison comparison = CompareForUpdate(oldPackage, newPackage);
    const std::optional<SizeChanges> sizes = CompareSizes(oldPackage.details, newPackage.details);
    QList<DetailsSection> sections =
        ComparisonSections(comparison, ComparedRows(oldPackage, newPackage));
    if (sizes)
        sections.append(SizeChangeSections(*sizes));
    const QByteArray printed =
        request.json ? JsonOf(comparison, ReportObject(before), ReportObject(after), sizes)
                     : DetailsText(sections).toUtf8();
    std::fwrite(printed.constData(), 1, std::size_t(printed.size()), stdout);
    return comparison.updatable() ? 0 : 1;
}
