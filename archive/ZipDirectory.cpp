#include "ZipDirectory.h"

#include "ZipEndRecord.h"
#include "base/LittleEndianCursor.h"
#include "digest/SafeFile.h"

#include <QSet>
#include <algorithm>

namespace {

constexpr quint32 DirectorySignature = 0x02014b50;
constexpr quint32 LocalSignature = 0x04034b50;
constexpr qint64 DirectoryRecordSize = 46;
constexpr qint64 LocalHeaderSize = 30;
constexpr quint16 DataDescriptorFlag = 0x08;
constexpr quint16 StoredMethod = 0;
// Local headers sit close together in most packages, so one read serves many of them.
constexpr qint64 WindowSize = 64 << 10;

// Reads local headers in ascending offset order through a window of the file.
class LocalHeaderReader
{
public:
    LocalHeaderReader(const SafeFile &file, qint64 limit) : file(file), limit(limit) {}

    // The `count` bytes at `offset`, or nothing when they reach past the limit or cannot be read.
    std::optional<QByteArray> read(qint64 offset, qint64 count)
    {
        if (offset < 0 || count > limit - offset)
            return std::nullopt;
        if (offset < windowStart || offset + count > windowStart + window.size()) {
            windowStart = offset;
            window.resize(qsizetype(qMin(qMax(WindowSize, count), limit - offset)));
            if (!file.readAt(offset, window.data(), window.size())) {
                window.clear();
                return std::nullopt;
            }
        }
        return window.sliced(qsizetype(offset - windowStart), qsizetype(count));
    }

private:
    const SafeFile &file;
    qint64 limit;
    qint64 windowStart = 0;
    QByteArray window;
};

// Parses the directory's records; nothing when they do not fill it exactly.
std::optional<QList<ZipDirectoryEntry>> ParseRecords(const QByteArray &directory,
                                                     qint64 expectedCount, Failure &error)
{
    QList<ZipDirectoryEntry> entries;
    const LittleEndianCursor record(directory);
    qint64 at = 0;
    while (at < directory.size()) {
        if (directory.size() - at < DirectoryRecordSize || record.u32At(at) != DirectorySignature ||
            entries.size() >= expectedCount) {
            error = {FailureCode::ZipDirectoryMismatch};
            return std::nullopt;
        }
        const qint64 nameSize = record.u16At(at + 28);
        const qint64 recordSize =
            DirectoryRecordSize + nameSize + record.u16At(at + 30) + record.u16At(at + 32);
        if (directory.size() - at < recordSize) {
            error = {FailureCode::ZipDirectoryMismatch};
            return std::nullopt;
        }
        ZipDirectoryEntry entry;
        entry.method = record.u16At(at + 10);
        entry.crc = record.u32At(at + 16);
        entry.compressedSize = record.u32At(at + 20);
        entry.uncompressedSize = record.u32At(at + 24);
        entry.localHeaderOffset = record.u32At(at + 42);
        entry.name = directory.mid(at + DirectoryRecordSize, nameSize);
        if (entry.compressedSize == 0xffffffff || entry.uncompressedSize == 0xffffffff ||
            entry.localHeaderOffset == 0xffffffff) {
            error = {FailureCode::Zip64Unsupported};
            return std::nullopt;
        }
        // Android reads a stored entry's uncompressed size of data, libzip its compressed size.
        if (entry.method == StoredMethod && entry.compressedSize != entry.uncompressedSize) {
            error = {FailureCode::ZipStoredSizesDiffer};
            return std::nullopt;
        }
        entries.append(entry);
        at += recordSize;
    }
    if (entries.size() != expectedCount) {
        error = {FailureCode::ZipDirectoryMismatch};
        return std::nullopt;
    }
    return entries;
}

// Where the entry's data ends, or nothing when its local header disagrees with its record.
// Notes where the data starts.
std::optional<qint64> CheckLocalHeader(LocalHeaderReader &reader, ZipDirectoryEntry &entry)
{
    const auto header = reader.read(entry.localHeaderOffset, LocalHeaderSize + entry.name.size());
    if (!header)
        return std::nullopt;
    const LittleEndianCursor local(*header);
    // The local header's method is not compared: Android reads the directory's.
    if (local.u32At(0) != LocalSignature || local.u16At(26) != entry.name.size() ||
        header->sliced(LocalHeaderSize) != entry.name)
        return std::nullopt;
    const quint32 crc = local.u32At(14);
    const qint64 compressedSize = local.u32At(18);
    const qint64 uncompressedSize = local.u32At(22);
    // With a data descriptor the local header may leave all three at zero.
    const bool deferred = (local.u16At(6) & DataDescriptorFlag) && crc == 0 &&
                          compressedSize == 0 && uncompressedSize == 0;
    if (!deferred && (crc != entry.crc || compressedSize != entry.compressedSize ||
                      uncompressedSize != entry.uncompressedSize))
        return std::nullopt;
    entry.dataOffset =
        entry.localHeaderOffset + LocalHeaderSize + entry.name.size() + local.u16At(28);
    return entry.dataOffset + entry.compressedSize;
}

} // namespace

std::optional<ZipDirectory> ReadZipDirectory(const SafeFile &file, const EndRecord &end,
                                             Failure &error)
{
    if (end.centralDirectorySize > MaxCentralDirectorySize) {
        error = {FailureCode::ZipDirectoryTooLarge};
        return std::nullopt;
    }
    QByteArray directory(qsizetype(end.centralDirectorySize), Qt::Uninitialized);
    if (!file.readAt(end.centralDirectoryOffset, directory.data(), directory.size())) {
        error = {FailureCode::FileUnreadable};
        return std::nullopt;
    }
    auto entries = ParseRecords(directory, end.entryCount, error);
    if (!entries)
        return std::nullopt;
    // libzip would read only the first of two entries of one name, and a signature check the
    // first while the installer takes the other.
    QSet<QByteArray> names;
    for (const ZipDirectoryEntry &entry : std::as_const(*entries)) {
        if (names.contains(entry.name)) {
            error = {FailureCode::ZipDuplicateEntry, {QString::fromUtf8(entry.name)}};
            return std::nullopt;
        }
        names.insert(entry.name);
    }

    QList<ZipDirectoryEntry *> byOffset;
    for (ZipDirectoryEntry &entry : *entries)
        byOffset.append(&entry);
    std::stable_sort(byOffset.begin(), byOffset.end(), [](const auto *a, const auto *b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    LocalHeaderReader reader(file, end.centralDirectoryOffset);
    qint64 previousEnd = 0;
    qint64 previousOffset = -1;
    for (ZipDirectoryEntry *entry : std::as_const(byOffset)) {
        if (entry->localHeaderOffset == previousOffset) {
            error = {FailureCode::ZipSharedData};
            return std::nullopt;
        }
        if (entry->localHeaderOffset < previousEnd) {
            error = {FailureCode::ZipOverlappingEntries};
            return std::nullopt;
        }
        const auto dataEnd = CheckLocalHeader(reader, *entry);
        if (!dataEnd) {
            error = {FailureCode::ZipLocalHeaderMismatch};
            return std::nullopt;
        }
        if (*dataEnd > end.centralDirectoryOffset) {
            error = {FailureCode::ZipEntryPastDirectory};
            return std::nullopt;
        }
        previousOffset = entry->localHeaderOffset;
        previousEnd = *dataEnd;
    }
    return ZipDirectory{*entries, previousEnd};
}
