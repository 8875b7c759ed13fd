#include "ZipArchive.h"

#include "EntryInflater.h"
#include "EntryReading.h"
#include "ZipDirectory.h"
#include "ZipFileSource.h"
#include "digest/SafeFile.h"

#include <QtGlobal>
#include <zip.h>
#include <zlib.h>

void ZipArchive::NameTimeZoneFile()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

namespace {

// Whether libzip's reading of the archive is ours: the same records in the same order, and
// the same comment. libzip keeps where it found the directory to itself, but it read its
// records from there.
bool SameView(zip *archive, const QList<ZipDirectoryEntry> &entries, const EndRecord &end)
{
    if (zip_get_num_entries(archive, 0) != entries.size())
        return false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ZipDirectoryEntry &entry = entries[i];
        zip_stat_t info;
        zip_stat_init(&info);
        constexpr zip_uint64_t Needed = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE |
                                        ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        if (zip_stat_index(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW, &info) != 0 ||
            (info.valid & Needed) != Needed || QByteArrayView(info.name) != entry.name ||
            info.size != zip_uint64_t(entry.uncompressedSize) ||
            info.comp_size != zip_uint64_t(entry.compressedSize) ||
            info.comp_method != entry.method || info.crc != entry.crc)
            return false;
    }
    int commentSize = 0;
    zip_get_archive_comment(archive, &commentSize, ZIP_FL_ENC_RAW);
    return commentSize == end.commentSize;
}

} // namespace

bool InflateBudget::take(qint64 size)
{
    qint64 now = left.load();
    while (size <= now)
        if (left.compare_exchange_weak(now, now - size))
            return true;
    refused = true;
    return false;
}

ZipArchive::ZipArchive(const SafeFile &file, std::shared_ptr<InflateBudget> shared)
    : budget(shared ? shared : std::make_shared<InflateBudget>())
{
    why = {FailureCode::FileUnreadable};
    if (!file.isOpen())
        return;
    const qint64 tailSize = qMin(file.size(), EndRecordSearchSize);
    QByteArray tail(tailSize, Qt::Uninitialized);
    if (!file.readAt(file.size() - tailSize, tail.data(), tailSize))
        return;
    const auto found = FindEndRecord(tail, file.size() - tailSize, why);
    if (!found)
        return;
    end = *found;
    const auto directory = ReadZipDirectory(file, end, why);
    if (!directory)
        return;
    open(file);
    if (archive && !SameView(archive, directory->entries, end)) {
        zip_discard(archive);
        archive = nullptr;
        why = {FailureCode::ZipTwoReadings};
    }
    if (!archive)
        return;
    why = {};
    entries = directory->entries;
    indexByName.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
        indexByName.insert(entries[i].name, i);
    entriesEnd = directory->dataEnd;
    if (!shared)
        budget =
            std::make_shared<InflateBudget>(MaxInflatedBase + InflatedPerFileByte * file.size());
}

void ZipArchive::open(const SafeFile &file)
{
    why = {FailureCode::ZipDamaged};
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = CreateZipFileSource(file, &error);
    if (!source) {
        zip_error_fini(&error);
        return;
    }
    // No ZIP_CHECKCONS: our own reading of the directory has checked every local header
    // against Android's rules already, and libzip's would refuse what Android reads (a local
    // header naming another method) while reading them all a second time.
    archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive)
        zip_source_free(source);
    zip_error_fini(&error);
}

ZipArchive::~ZipArchive()
{
    if (archive)
        zip_discard(archive);
}

QList<QByteArray> ZipArchive::entryNames(QByteArrayView prefix) const
{
    QList<QByteArray> names;
    for (const ZipDirectoryEntry &entry : entries)
        if (entry.name.startsWith(prefix))
            names.append(entry.name);
    return names;
}

std::optional<qsizetype> ZipArchive::indexOf(const QByteArray &name) const
{
    // libzip's index is the directory's, record for record, or the archive would not be open;
    // ZipDirectory has refused names given twice.
    const auto found = indexByName.constFind(name);
    return found == indexByName.cend() ? std::nullopt : std::optional<qsizetype>(*found);
}

std::optional<qint64> ZipArchive::entrySize(const QByteArray &name) const
{
    const std::optional<qsizetype> index = indexOf(name);
    return index ? std::optional<qint64>(entries[*index].uncompressedSize) : std::nullopt;
}

std::optional<QByteArray> ZipArchive::readEntry(const QByteArray &name, qint64 maxSize) const
{
    QByteArray bytes;
    // The declared size is checked against `maxSize` and the inflate limit before anything is
    // read, and a longer entry is cut off, so reserving it up front grows nothing unbounded.
    if (const std::optional<qint64> size = entrySize(name);
        size && *size <= maxSize && *size <= budget->remaining())
        bytes.reserve(qsizetype(*size));
    const bool whole = readPieces(name, maxSize, [&bytes](const char *data, qint64 size) {
        bytes.append(data, qsizetype(size));
    });
    return whole ? std::optional<QByteArray>(std::move(bytes)) : std::nullopt;
}

bool ZipArchive::readPieces(const QByteArray &name, qint64 maxSize,
                            const std::function<void(const char *, qint64)> &consume) const
{
    const std::optional<qsizetype> index = indexOf(name);
    if (!index)
        return false;
    const ZipDirectoryEntry &record = entries[*index];
    if ((maxSize >= 0 && record.uncompressedSize > maxSize) || !drawBudget(record))
        return false;
    EntryReading reading(record, consume);
    const bool read = readRaw(
        *index, [&reading](const char *data, qint64 size) { return reading.feed(data, size); });
    return read && reading.finish();
}

bool ZipArchive::drawBudget(const ZipDirectoryEntry &entry, InflateBudget *drawFrom) const
{
    if ((drawFrom ? *drawFrom : *budget).take(entry.uncompressedSize))
        return true;
    limitReached = true;
    return false;
}

std::unique_ptr<EntryReading>
ZipArchive::readFed(const ZipDirectoryEntry &record,
                    const std::function<void(const char *, qint64)> &consume,
                    InflateBudget *drawFrom) const
{
    if (!drawBudget(record, drawFrom))
        return nullptr;
    return std::make_unique<EntryReading>(record, consume);
}

bool ZipArchive::readRaw(qsizetype index, const std::function<bool(const char *, qint64)> &raw,
                         qsizetype pieceSize) const
{
    // The data as the file holds it: what it means is the central directory's method alone.
    zip_file_t *entry = zip_fopen_index(archive, zip_uint64_t(index), ZIP_FL_COMPRESSED);
    if (!entry)
        return false;
    QByteArray piece(pieceSize, Qt::Uninitialized);
    zip_int64_t got = 0;
    while ((got = zip_fread(entry, piece.data(), zip_uint64_t(pieceSize))) > 0 &&
           raw(piece.constData(), got)) {
    }
    zip_fclose(entry);
    return got >= 0;
}

std::optional<QByteArray> ZipArchive::readEntryStart(const QByteArray &name, qint64 count) const
{
    const std::optional<qsizetype> index = indexOf(name);
    if (!index || count < 0)
        return std::nullopt;
    QByteArray bytes;
    if (count == 0)
        return bytes;
    // Pieces the size of what is wanted: an ELF header, not the whole library, is inflated.
    const qsizetype pieceSize =
        qsizetype(qBound<qint64>(4 << 10, count, EntryInflater::DefaultPieceSize));
    EntryInflater inflater(entries[*index].method == ZIP_CM_STORE, pieceSize);
    const bool read = readRaw(
        *index,
        [&](const char *data, qint64 size) {
            return inflater.feed(data, size, [&](const char *out, qint64 made) {
                bytes.append(out, qsizetype(qMin(made, count - bytes.size())));
                return bytes.size() < count;
            });
        },
        pieceSize);
    if (!read || inflater.corrupt())
        return std::nullopt;
    return bytes;
}

std::optional<EntryPlacement> ZipArchive::placement(const QByteArray &name) const
{
    const std::optional<qsizetype> index = indexOf(name);
    if (!index)
        return std::nullopt;
    const ZipDirectoryEntry &entry = entries[*index];
    return EntryPlacement{entry.method == ZIP_CM_STORE, entry.dataOffset};
}

const ZipDirectoryEntry *ZipArchive::record(const QByteArray &name) const
{
    const std::optional<qsizetype> index = indexOf(name);
    return index ? &entries[*index] : nullptr;
}
