#include "ZipFileSource.h"

#include "digest/ReadStop.h"
#include "digest/SafeFile.h"

#include <QByteArray>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

namespace {

constexpr qint64 WindowSize = 64 << 10;

class WindowedFile
{
public:
    WindowedFile(int fd, qint64 origin, qint64 size) : fd(fd), origin(origin), size(size)
    {
        zip_error_init(&error);
    }
    ~WindowedFile()
    {
        ::close(fd);
        zip_error_fini(&error);
    }
    WindowedFile(const WindowedFile &) = delete;
    WindowedFile &operator=(const WindowedFile &) = delete;

    zip_int64_t handle(void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            position = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return read(static_cast<char *>(data), qint64(qMin<zip_uint64_t>(length, 1 << 30)));
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &error);
            if (!stat)
                return -1;
            zip_stat_init(stat);
            stat->size = zip_uint64_t(size);
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error, data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t next = zip_source_seek_compute_offset(
                zip_uint64_t(position), zip_uint64_t(size), data, length, &error);
            if (next < 0)
                return -1;
            position = next;
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return position;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

private:
    zip_int64_t read(char *data, qint64 count)
    {
        count = qMin(count, size - position);
        if (count <= 0)
            return 0;
        if (count >= WindowSize)
            return readDirect(data, count);
        if (position < windowStart || position + count > windowStart + window.size()) {
            window.resize(qsizetype(qMin(WindowSize, size - position)));
            windowStart = position;
            if (readDirect(window.data(), window.size(), false) != window.size()) {
                window.clear();
                return -1;
            }
        }
        std::memcpy(data, window.constData() + (position - windowStart), std::size_t(count));
        position += count;
        return count;
    }

    // Exactly `count` bytes at the position; a file that ends earlier is an error.
    zip_int64_t readDirect(char *data, qint64 count, bool advance = true)
    {
        if (ReadStopRequested()) {
            zip_error_set(&error, ZIP_ER_READ, ECANCELED);
            return -1;
        }
        for (qint64 done = 0; done < count;) {
            const ssize_t got =
                ::pread(fd, data + done, std::size_t(count - done), origin + position + done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                zip_error_set(&error, ZIP_ER_READ, got < 0 ? errno : EIO);
                return -1;
            }
            done += got;
        }
        if (advance)
            position += count;
        return count;
    }

    int fd;
    qint64 origin; // where the archive starts in the file: a stored entry may be one
    qint64 size;
    qint64 position = 0;
    qint64 windowStart = 0;
    QByteArray window;
    zip_error_t error;
};

zip_int64_t Callback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *file = static_cast<WindowedFile *>(state);
    if (command == ZIP_SOURCE_FREE) {
        delete file;
        return 0;
    }
    return file->handle(data, length, command);
}

} // namespace

zip_source *CreateZipFileSource(const SafeFile &file, zip_error *error)
{
    if (!file.isOpen())
        return nullptr;
    // The archive may outlive the SafeFile it was opened from, so it reads its own descriptor.
    const int fd = ::fcntl(file.descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    auto *state = new WindowedFile(fd, file.origin(), file.size());
    zip_source *source = zip_source_function_create(Callback, state, error);
    if (!source)
        delete state;
    return source;
}
