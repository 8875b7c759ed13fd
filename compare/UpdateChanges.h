#pragma once

#include "apk/NativeLibraries.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct PackageDetails;

// A fact of the old package and of the new one, when the two differ.
template <typename Value> struct Change
{
    Value before;
    Value after;
};

// What differs between two packages without keeping one from updating the other: what people
// check before they install an update.
struct UpdateChanges
{
    QStringList permissionsAdded;   // by name, in the new package's order
    QStringList permissionsRemoved; // in the old package's order
    std::optional<Change<QString>> minSdk;
    std::optional<Change<QString>> targetSdk;
    std::optional<Change<QStringList>> abis; // as sets: the order does not count
    // Whether the 64-bit native libraries load with 16 KB pages; nothing when unreadable.
    std::optional<Change<std::optional<PageSizeSummary>>> pageSize16k;
    std::optional<Change<qint64>> size;
    // Whenever the two differ. Joining or changing one keeps the update out (CompareForUpdate);
    // leaving one is refused by Android 12 and older, and Android 13 opened a way out.
    std::optional<Change<QString>> sharedUserId;
};

// The changes from `oldDetails` to `newDetails`, both read in full; the texts as the packages
// give them.
UpdateChanges CompareFacts(const PackageDetails &oldDetails, const PackageDetails &newDetails);

// One line per change, each value from a package with its control characters written out:
// "最低 SDK 提高：21 → 24", "新增权限：android.permission.CAMERA".
QStringList ChangeLines(const UpdateChanges &changes);
