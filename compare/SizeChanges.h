#pragma once

#include "UpdateChanges.h"
#include "apk/ContentsListing.h"
#include "details/DetailsSection.h"
#include "details/PackageDetails.h"

#include <QByteArray>
#include <QList>
#include <array>
#include <optional>

// How the stored bytes moved from one package to the other: by category, and the entries that
// grew or shrank most.
struct SizeChanges
{
    std::array<Change<qint64>, SizeCategoryCount> byCategory{};
    struct Entry
    {
        QByteArray name;
        Change<qint64> stored; // 0 on the side that does not hold it
    };
    QList<Entry> entries; // the largest changes first, by how much, then by name
};

// The ten entries whose stored size changed most, either way.
inline constexpr int ChangedEntriesShown = 10;

// The changes from `before` to `after`, stored sizes throughout.
SizeChanges CompareSizes(const ContentsListing &before, const ContentsListing &after);
// The same between two packages' (or bundles' bases') holdings; nothing unless both were read.
std::optional<SizeChanges> CompareSizes(const PackageDetails &before, const PackageDetails &after);

// The "大小变化" section, each category, and the "变化最大的条目" section, each entry, as
// "旧 → 新 字节（±变化）".
QList<DetailsSection> SizeChangeSections(const SizeChanges &changes);
