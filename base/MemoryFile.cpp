#include "MemoryFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>
#include <utility>

MemoryFile::MemoryFile(const char *name) : fd(::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING))
{
}

MemoryFile::~MemoryFile()
{
    if (fd >= 0)
        ::close(fd);
}

MemoryFile::MemoryFile(MemoryFile &&other) noexcept
    : fd(std::exchange(other.fd, -1)), written(std::exchange(other.written, 0))
{
}

MemoryFile &MemoryFile::operator=(MemoryFile &&other) noexcept
{
    std::swap(fd, other.fd);
    std::swap(written, other.written);
    return *this;
}

QByteArray MemoryFile::childPath() const
{
    return "/dev/fd/" + QByteArray::number(fd);
}

bool MemoryFile::append(const char *data, qint64 size)
{
    if (fd < 0)
        return false;
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, data, std::size_t(size), off_t(written));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
        written += done;
    }
    return true;
}

bool MemoryFile::appendFrom(int source, qint64 offset, qint64 size)
{
    if (fd < 0 || ::lseek(fd, off_t(written), SEEK_SET) < 0)
        return false;
    off_t from = off_t(offset);
    while (size > 0) {
        const ssize_t done = ::sendfile(fd, source, &from, std::size_t(size));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        size -= done;
        written += done;
    }
    return true;
}

bool MemoryFile::seal()
{
    return fd >= 0 &&
           ::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) == 0;
}
