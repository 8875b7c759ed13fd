#include "SizeChanges.h"

#include "details/ContentsText.h"
#include "details/FileSizeText.h"

#include <QHash>
#include <algorithm>

namespace {

QHash<QByteArray, qint64> StoredByName(const ContentsListing &listing)
{
    QHash<QByteArray, qint64> stored;
    for (const ListedEntry &entry : listing.entries)
        stored[entry.name] += entry.stored;
    return stored;
}

QString ChangeText(const Change<qint64> &change)
{
    const qint64 by = change.after - change.before;
    return QStringLiteral("%1 → %2 字节（%3%4）")
        .arg(GroupedDigits(change.before), GroupedDigits(change.after),
             by > 0 ? QStringLiteral("+") : QString(), GroupedDigits(by));
}

} // namespace

SizeChanges CompareSizes(const ContentsListing &before, const ContentsListing &after)
{
    SizeChanges changes;
    for (std::size_t category = 0; category < changes.byCategory.size(); ++category)
        changes.byCategory[category] = {before.byCategory[category].stored,
                                        after.byCategory[category].stored};
    const QHash<QByteArray, qint64> old = StoredByName(before);
    const QHash<QByteArray, qint64> next = StoredByName(after);
    for (auto entry = old.cbegin(); entry != old.cend(); ++entry)
        changes.entries.append({entry.key(), {entry.value(), next.value(entry.key())}});
    for (auto entry = next.cbegin(); entry != next.cend(); ++entry)
        if (!old.contains(entry.key()))
            changes.entries.append({entry.key(), {0, entry.value()}});
    const auto amount = [](const SizeChanges::Entry &entry) {
        return qAbs(entry.stored.after - entry.stored.before);
    };
    std::sort(changes.entries.begin(), changes.entries.end(),
              [&](const SizeChanges::Entry &left, const SizeChanges::Entry &right) {
                  return amount(left) != amount(right) ? amount(left) > amount(right)
                                                       : left.name < right.name;
              });
    // An entry the same on both sides did not change at all.
    const auto unchanged =
        std::find_if(changes.entries.begin(), changes.entries.end(),
                     [&](const SizeChanges::Entry &entry) { return amount(entry) == 0; });
    changes.entries.erase(unchanged, changes.entries.end());
    if (changes.entries.size() > ChangedEntriesShown)
        changes.entries.resize(ChangedEntriesShown);
    return changes;
}

std::optional<SizeChanges> CompareSizes(const PackageDetails &before, const PackageDetails &after)
{
    if (!before.holdings || !after.holdings)
        return std::nullopt;
    return CompareSizes(before.holdings->contents, after.holdings->contents);
}

QList<DetailsSection> SizeChangeSections(const SizeChanges &changes)
{
    DetailsSection categories{QStringLiteral("大小变化"), {}};
    for (int category = 0; category < SizeCategoryCount; ++category)
        categories.rows.append({CategoryText(SizeCategory(category)),
                                ChangeText(changes.byCategory[std::size_t(category)])});
    DetailsSection entries{QStringLiteral("变化最大的条目"), {}};
    for (const SizeChanges::Entry &entry : changes.entries)
        entries.rows.append({EntryNameText(entry.name), ChangeText(entry.stored)});
    if (entries.rows.isEmpty())
        entries.rows.append({QStringLiteral("条目"), QStringLiteral("无变化")});
    return {categories, entries};
}
