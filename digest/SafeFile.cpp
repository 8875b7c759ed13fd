#include "SafeFile.h"

#include "ReadStop.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One pread, retried when a signal interrupts it. Returns the bytes read, 0 at the end, -1 on
// an error.
ssize_t ReadSome(int fd, void *buffer, std::size_t count, qint64 offset)
{
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, count, off_t(offset));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

SafeFile::SafeFile(const QByteArray &path)
{
    if (path.isEmpty())
        return;
    fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    takeRegularFile();
}

SafeFile::SafeFile(int descriptor)
{
    if (descriptor >= 0)
        fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    takeRegularFile();
}

SafeFile::SafeFile(const SafeFile &file, qint64 offset, qint64 length)
{
    if (!file.isOpen() || offset < 0 || length < 0 || offset > file.size() - length)
        return;
    fd = ::fcntl(file.fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return;
    start = file.start + offset;
    this->length = length;
    part = true;
}

void SafeFile::takeRegularFile()
{
    if (fd < 0)
        return;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fd = -1;
        return;
    }
    length = qint64(info.st_size);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

SafeFile::~SafeFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool SafeFile::readAt(qint64 offset, void *buffer, qint64 count) const
{
    if (fd < 0 || offset < 0 || count < 0 || ReadStopRequested() ||
        (part && offset > length - count))
        return false;
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (count > 0) {
        const ssize_t got = ReadSome(fd, bytes, std::size_t(count), start + offset);
        if (got <= 0)
            return false;
        bytes += got;
        offset += got;
        count -= got;
    }
    return true;
}

bool SafeFile::readWhole(const ChunkConsumer &consume, const std::function<bool()> &keepGoing) const
{
    const ChunkBuffer buffer = AllocateChunk(ChunkSize);
    return buffer && readWhole(consume, keepGoing, [&buffer] { return buffer.get(); });
}

bool SafeFile::readWhole(const ChunkConsumer &consume, const std::function<bool()> &keepGoing,
                         const std::function<unsigned char *()> &nextBuffer, qint64 chunkSize) const
{
    if (fd < 0)
        return false;
    // Read one byte past the expected end so that growth is noticed; a part of a file ends where
    // the file goes on.
    const qint64 wanted = part ? length : length + 1;
    qint64 total = 0;
    while (total < wanted) {
        if (ReadStopRequested())
            return false;
        unsigned char *buffer = nextBuffer();
        const ssize_t got = ReadSome(
            fd, buffer, std::size_t(qMin<qint64>(chunkSize, wanted - total)), start + total);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += got;
        if (total > length)
            return false;
        consume(buffer, std::size_t(got));
        if (keepGoing && !keepGoing())
            return false;
    }
    return total == length;
}

bool SafeFile::readRange(qint64 offset, qint64 count, const ChunkConsumer &consume) const
{
    const ChunkBuffer buffer = AllocateChunk(ChunkSize);
    if (!buffer)
        return false;
    for (qint64 done = 0; done < count; done += ChunkSize) {
        const qint64 size = qMin(ChunkSize, count - done);
        if (!readAt(offset + done, buffer.get(), size))
            return false;
        consume(buffer.get(), std::size_t(size));
    }
    return true;
}
