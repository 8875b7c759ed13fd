#include "ZipArchive.h"

#include "digest/SafeFile.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

void ZipArchive::NameTimeZoneFile()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

ZipArchive::ZipArchive(const SafeFile &file)
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

QList<QByteArray> ZipArchive::entryNames() const
{
    QList<QByteArray> names;
    if (!archive)
        return names;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char *name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW))
            names.append(QByteArray(name));
    return names;
}

std::optional<qint64> ZipArchive::entrySize(const QByteArray &name) const
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (!archive || zip_stat(archive, name.constData(), ZIP_FL_ENC_RAW, &info) != 0 ||
        !(info.valid & ZIP_STAT_SIZE) || info.size > zip_uint64_t(INT64_MAX))
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
