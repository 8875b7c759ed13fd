#pragma once

#include "UpdateCheck.h"
#include "details/DetailsLoading.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// The two packages of a comparison, read on threads of their own while a window waits: the
// package shown, as the details window reads it (DetailsLoading), and the new one into its
// record, as the report and `pelmora --compare` read it (ReadPackageRecord). Destroying it stops
// both at their next read.
class ComparisonLoading
{
public:
    // Starts at once. `more` is called on a worker thread each time more is known, never after
    // the loading is destroyed.
    ComparisonLoading(const InspectedPackage &shown, const QByteArray &newPath,
                      std::function<void()> more);
    ~ComparisonLoading();
    ComparisonLoading(const ComparisonLoading &) = delete;
    ComparisonLoading &operator=(const ComparisonLoading &) = delete;

    bool done() const;
    // How much of the two files has been read, 0 to 1, each counting for its size.
    double readProgress() const;
    // The two sides as the comparison takes them; whole once done().
    ComparedPackage oldPackage() const;
    ComparedPackage newPackage() const;

private:
    void readNew();

    const InspectedPackage shown;
    const QByteArray newPath;
    const std::function<void()> more;
    const qint64 newSize; // by its name, for the progress bar only
    std::atomic<bool> stop = false;
    std::atomic<qint64> newBytesRead = 0;
    DetailsLoading old;

    mutable std::mutex mutex;
    std::optional<PackageRecord> newRecord;

    std::thread readingNew;
};
