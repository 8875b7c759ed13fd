#include "InnerApk.h"

#include "archive/EntryReading.h"
#include "archive/ZipArchive.h"
#include "digest/ReadOnce.h"
#include "digest/SafeFile.h"

std::optional<MemoryFile> ExtractInnerApk(const SafeFile &file, const ZipArchive &container,
                                          const QByteArray &name, InflateBudget *drawFrom)
{
    const ZipDirectoryEntry *record = container.record(name);
    if (!record || record->uncompressedSize > MaxInnerApkBytes)
        return std::nullopt;
    MemoryFile copy("pelmora-inner-apk");
    bool written = copy.isOpen();
    const std::unique_ptr<EntryReading> reading =
        written ? container.readFed(
                      *record,
                      [&](const char *data, qint64 count) {
                          written = written && copy.append(data, count);
                      },
                      drawFrom)
                : nullptr;
    const bool whole =
        reading &&
        file.readRange(record->dataOffset, record->compressedSize,
                       [&](const unsigned char *data, std::size_t size) {
                           reading->feed(reinterpret_cast<const char *>(data), qint64(size));
                       }) &&
        reading->finish();
    if (!whole || !written || copy.size() != record->uncompressedSize || !copy.seal())
        return std::nullopt;
    return copy;
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

namespace {

// An entry's bytes as the file keeps them, checked as they go by.
class EntryCheck : public ByteSink
{
public:
    explicit EntryCheck(EntryReading &reading) : reading(reading) {}
    void feed(qint64, const unsigned char *data, std::size_t size) override
    {
        reading.feed(reinterpret_cast<const char *>(data), qint64(size));
    }

private:
    EntryReading &reading;
};

} // namespace

bool CheckStoredEntry(const ZipArchive &container, const QByteArray &name, const SafeFile &bytes,
                      InflateBudget &drawFrom, const std::function<QList<ByteSink *>()> &prepare)
{
    const ZipDirectoryEntry *record = container.record(name);
    const std::unique_ptr<EntryReading> reading =
        record ? container.readFed(
                     *record, [](const char *, qint64) {}, &drawFrom)
               : nullptr;
    if (!reading)
        return false;
    EntryCheck check(*reading);
    // The checksum is the lighter work, so the sinks' lane sets the pace.
    return ReadOnce(bytes, {&check}, prepare(), nullptr, NarrowReadAhead) && reading->finish();
}

std::optional<ApkManifest> ReadInnerManifest(const MemoryFile &apk,
                                             const std::shared_ptr<InflateBudget> &budget)
{
    const SafeFile file(apk.descriptor());
    return ReadApkManifest(ZipArchive(file, budget));
}
