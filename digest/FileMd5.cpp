#include "FileMd5.h"

#include "Md5.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large page-aligned reads: an unaligned buffer costs the kernel's copy noticeably.
constexpr std::size_t ChunkSize = 1 << 20;
constexpr std::size_t PageSize = 4096;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd; }

private:
    int fd;
};

struct FreeBuffer
{
    void operator()(unsigned char *p) const { std::free(p); }
};

// Feeds exactly `size` bytes of `fd` into `md5`. Fails on a read error, or when the file turns
// out shorter or longer than `size` (it changed while being read).
bool HashExactly(int fd, quint32 size, Md5 &md5)
{
    std::unique_ptr<unsigned char, FreeBuffer> buffer(
        static_cast<unsigned char *>(std::aligned_alloc(PageSize, ChunkSize)));
    if (!buffer)
        return false;
    // Read one byte past the expected end so that growth is noticed.
    const quint64 wanted = quint64(size) + 1;
    quint64 total = 0;
    while (total < wanted) {
        const std::size_t ask = std::size_t(qMin<quint64>(ChunkSize, wanted - total));
        const ssize_t got = ::read(fd, buffer.get(), ask);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += quint64(got);
        if (total > size)
            return false;
        md5.update(buffer.get(), std::size_t(got));
    }
    return total == size;
}

} // namespace

int QueryFileSize32(int fd, quint32 &size)
{
    size = 0;
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return 0;
    if (info.st_size > 0 && info.st_size <= 0xFFFFFFFF)
        size = quint32(info.st_size);
    return 1;
}

int Md5Hex(quint32 size, const void *data, QByteArray &out)
{
    if (size == 0)
        return 0;
    Md5 md5;
    md5.update(data, size);
    out = md5.finishHex();
    return 1;
}

int ComputeFileMd5(const QString &path, QByteArray &out)
{
    if (path.isNull())
        return 0;
    out.clear();
    // Read-only and never created. Non-blocking, so that a FIFO or device named like a package
    // returns at once instead of hanging the window; the regular-file test below refuses it.
    const FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return 0;
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    quint32 size = 0;
    if (!QueryFileSize32(file.get(), size))
        return 0;
    if (size == 0)
        return 1;
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    Md5 md5;
    if (HashExactly(file.get(), size, md5))
        out = md5.finishHex();
    return 1;
}
