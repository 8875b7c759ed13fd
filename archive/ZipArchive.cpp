#include "ZipArchive.h"

#include "digest/SafeFile.h"
#include "signing/ByteCursor.h"
#include "signing/PackageLayout.h"

#include <QtEndian>
#include <QtGlobal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <unistd.h>
#include <zip.h>

void ZipArchive::NameTimeZoneFile()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

namespace {

constexpr quint32 CentralRecordSignature = 0x02014b50;
constexpr qint64 CentralRecordSize = 46;
constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr qint64 LocalHeaderSize = 30;
// The end record and the longest comment it can carry.
constexpr qint64 LongestEnd = 22 + 0xffff;

quint16 U16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.data() + at);
}

quint32 U32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

} // namespace

ZipArchive::ZipArchive(const SafeFile &file) : file(file)
{
    if (!file.isOpen())
        return;
    // libzip closes what it is given, so it gets a descriptor of its own.
    const int fd = ::fcntl(file.descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return;
    FILE *stream = ::fdopen(fd, "rb");
    if (!stream) {
        ::close(fd);
        return;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_filep_create(stream, 0, -1, &error);
    if (!source) {
        std::fclose(stream);
        zip_error_fini(&error);
        return;
    }
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
    if (!archive)
        return names;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        // Compared before it is copied: a package's resources run to thousands of entries.
        const char *name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW);
        if (name && QByteArrayView(name).startsWith(prefix))
            names.append(QByteArray(name));
    }
    return names;
}

std::optional<qint64> ZipArchive::entrySize(const QByteArray &name) const
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (!archive || zip_stat(archive, name.constData(), ZIP_FL_ENC_RAW, &info) != 0 ||
        !(info.valid & ZIP_STAT_SIZE) ||
        info.size > zip_uint64_t(std::numeric_limits<qint64>::max()))
        return std::nullopt;
    return qint64(info.size);
}

std::optional<QByteArray> ZipArchive::readEntry(const QByteArray &name, qint64 maxSize) const
{
    QByteArray bytes;
    const bool whole = readPieces(name, maxSize, [&bytes](const char *data, qint64 size) {
        bytes.append(data, qsizetype(size));
    });
    return whole ? std::optional<QByteArray>(std::move(bytes)) : std::nullopt;
}

bool ZipArchive::streamEntry(const QByteArray &name,
                             const std::function<void(const char *, qint64)> &consume) const
{
    return readPieces(name, -1, consume);
}

bool ZipArchive::readPieces(const QByteArray &name, qint64 maxSize,
                            const std::function<void(const char *, qint64)> &consume) const
{
    if (!archive)
        return false;
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat(archive, name.constData(), ZIP_FL_ENC_RAW, &info) != 0 ||
        !(info.valid & ZIP_STAT_SIZE) || (maxSize >= 0 && info.size > zip_uint64_t(maxSize)))
        return false;
    zip_file_t *entry = zip_fopen_index(archive, info.index, 0);
    if (!entry)
        return false;
    constexpr zip_uint64_t PieceSize = 256 << 10;
    QByteArray piece(qsizetype(PieceSize), Qt::Uninitialized);
    zip_uint64_t total = 0;
    zip_int64_t got = 0;
    // Reading on to the end lets libzip compare the checksum; a longer entry than it said stops.
    while (total <= info.size && (got = zip_fread(entry, piece.data(), PieceSize)) > 0) {
        total += zip_uint64_t(got);
        if (total <= info.size)
            consume(piece.constData(), got);
    }
    zip_fclose(entry);
    return got == 0 && total == info.size;
}

std::optional<QByteArray> ZipArchive::readEntryStart(const QByteArray &name, qint64 count) const
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (!archive || count < 0 || zip_stat(archive, name.constData(), ZIP_FL_ENC_RAW, &info) != 0)
        return std::nullopt;
    zip_file_t *entry = zip_fopen_index(archive, info.index, 0);
    if (!entry)
        return std::nullopt;
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    qint64 total = 0;
    zip_int64_t got = 0;
    while (total < count &&
           (got = zip_fread(entry, bytes.data() + total, zip_uint64_t(count - total))) > 0)
        total += got;
    zip_fclose(entry);
    if (got < 0)
        return std::nullopt;
    bytes.truncate(qsizetype(total));
    return bytes;
}

std::optional<EntryPlacement> ZipArchive::placement(const QByteArray &name) const
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (!archive || zip_stat(archive, name.constData(), ZIP_FL_ENC_RAW, &info) != 0 ||
        !(info.valid & ZIP_STAT_COMP_METHOD) || !(info.valid & ZIP_STAT_COMP_SIZE))
        return std::nullopt;
    const QList<std::pair<QByteArrayView, qint64>> &entries = centralDirectory().entries;
    if (info.index >= zip_uint64_t(entries.size()) || entries[qsizetype(info.index)].first != name)
        return std::nullopt;
    const qint64 header = entries[qsizetype(info.index)].second;
    char fields[LocalHeaderSize];
    if (!file.readAt(header, fields, LocalHeaderSize) || U32(fields, 0) != LocalHeaderSignature)
        return std::nullopt;
    const qint64 data = header + LocalHeaderSize + U16(fields, 26) + U16(fields, 28);
    if (data > file.size() || info.comp_size > zip_uint64_t(file.size() - data))
        return std::nullopt;
    return EntryPlacement{info.comp_method == ZIP_CM_STORE, data};
}

const ZipArchive::CentralDirectory &ZipArchive::centralDirectory() const
{
    if (directory)
        return *directory;
    directory.emplace();
    const qint64 tailSize = qMin(file.size(), LongestEnd);
    QByteArray tail(qsizetype(tailSize), Qt::Uninitialized);
    QString error;
    std::optional<EndRecord> end;
    if (tailSize > 0 && file.readAt(file.size() - tailSize, tail.data(), tailSize))
        end = FindEndRecord(tail, file.size() - tailSize, error);
    if (!end)
        return *directory;
    QByteArray bytes(qsizetype(end->centralDirectorySize), Qt::Uninitialized);
    if (!file.readAt(end->centralDirectoryOffset, bytes.data(), bytes.size()))
        return *directory;
    // The names are views into `bytes`, which the directory keeps and never changes.
    ByteCursor cursor(bytes);
    QList<std::pair<QByteArrayView, qint64>> entries;
    while (!cursor.atEnd()) {
        QByteArrayView record, name, rest;
        if (!cursor.readBytes(CentralRecordSize, record) ||
            U32(record, 0) != CentralRecordSignature || !cursor.readBytes(U16(record, 28), name) ||
            !cursor.readBytes(quint64(U16(record, 30)) + U16(record, 32), rest))
            return *directory;
        entries.append({name, U32(record, 42)});
    }
    *directory = {std::move(bytes), std::move(entries)};
    return *directory;
}
