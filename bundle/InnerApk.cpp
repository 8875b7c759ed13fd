#include "InnerApk.h"

#include "archive/EntryReading.h"
#include "archive/ZipArchive.h"
#include "digest/ReadStop.h"
#include "digest/SafeFile.h"

#include <thread>

std::optional<MemoryFile> ExtractInnerApk(const ZipArchive &container, const QByteArray &name)
{
    const std::optional<qint64> size = container.entrySize(name);
    if (!size || *size > MaxInnerApkBytes)
        return std::nullopt;
    MemoryFile file("pelmora-inner-apk");
    bool written = file.isOpen();
    const bool whole = written && container.streamEntry(name, [&](const char *data, qint64 count) {
        written = written && file.append(data, count);
    });
    if (!whole || !written || file.size() != *size || !file.seal())
        return std::nullopt;
    return file;
}

std::optional<MemoryFile> CopyStoredInnerApk(const SafeFile &file, const ZipArchive &container,
                                             const QByteArray &name)
{
    const std::optional<qint64> size = container.entrySize(name);
    const std::optional<EntryPlacement> placement = container.placement(name);
    if (!size || *size > MaxInnerApkBytes || !placement || !placement->stored)
        return std::nullopt;
    MemoryFile apk("pelmora-inner-apk");
    if (!apk.appendFrom(file.descriptor(), placement->dataOffset, *size) || !apk.seal())
        return std::nullopt;
    return apk;
}

bool CheckStoredEntry(const ZipArchive &container, const QByteArray &name, const SafeFile &bytes,
                      const std::function<void()> &beside)
{
    const ZipDirectoryEntry *record = container.record(name);
    const std::unique_ptr<EntryReading> reading =
        record ? container.readFed(*record, [](const char *, qint64) {}) : nullptr;
    if (!reading)
        return false;
    // The checker's reads stop when this thread's do.
    const std::atomic<bool> *stop = CurrentReadStop();
    bool whole = false;
    std::thread checker([&] {
        std::optional<ScopedReadStop> stopping;
        if (stop)
            stopping.emplace(*stop);
        whole = bytes.readRange(0, bytes.size(), [&](const unsigned char *data, std::size_t size) {
            reading->feed(reinterpret_cast<const char *>(data), qint64(size));
        }) && reading->finish();
    });
    beside();
    checker.join();
    return whole;
}

std::optional<ApkManifest> ReadInnerManifest(const MemoryFile &apk,
                                             const std::shared_ptr<InflateBudget> &budget)
{
    const SafeFile file(apk.descriptor());
    return ReadApkManifest(ZipArchive(file, budget));
}
