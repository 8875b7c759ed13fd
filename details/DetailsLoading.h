#pragma once

#include "PackageDetails.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// The details of an inspected package, loaded on threads of their own while a window shows
// what is known so far. One thread reads the file once: the MD5 on it, the SHA-1, the SHA-256 and
// the signature check on a second thread that shares its chunks (ReadOnce), so two cores share
// the digests. Meanwhile another reads what the archive holds (the icon, the native libraries,
// a bundle's inner APKs, each copied into memory and checked). Pieces are put together as
// LoadPackageDetails puts them, the same file checks included: until both are done, the parts
// still missing are pending (PackageDetails::readPending, contentsPending). Once both are in,
// a last thread estimates the download size, a full compression pass that only the 大小
// section waits for (estimatePending).
class DetailsLoading
{
public:
    // Starts at once. `more` is called on a worker thread each time more is known, never after
    // the loading is destroyed. The download estimate follows only when `estimate` is set.
    DetailsLoading(const InspectedPackage &inspected, std::function<void()> more,
                   bool estimate = false);
    // Stops the work and waits for its threads, which notice at their next read.
    ~DetailsLoading();
    DetailsLoading(const DetailsLoading &) = delete;
    DetailsLoading &operator=(const DetailsLoading &) = delete;

    // What is known so far.
    PackageDetails current() const;
    // Whether the digests and the archive's readers are done; the estimate may still be pending.
    bool done() const;
    // How much of the file has been read, 0 to 1.
    double readProgress() const;

private:
    void readFile();
    void readContents(std::shared_ptr<const ZipArchive> archive);
    void estimateDownload();
    // Puts the pieces together, under the lock.
    void compose();

    const InspectedPackage inspected;
    const std::function<void()> more;
    const bool estimate;
    std::atomic<bool> stop = false;
    std::atomic<qint64> bytesRead = 0;

    mutable std::mutex mutex;
    const PackageDetails tool;
    std::optional<PackageReading> reading;
    std::optional<PackageDetails> contents;
    PackageDetails shown;
    bool finished = false;

    std::thread contentsThread; // started by the reading thread once the archive is open
    std::thread readingThread;
    std::thread estimateThread; // started by whichever of the two finishes last
};
