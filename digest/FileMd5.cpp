#include "FileMd5.h"

#include "Digest.h"
#include "ReadOnce.h"
#include "SafeFile.h"

#include <sys/stat.h>

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
    Digest md5(DigestAlgorithm::Md5);
    md5.update(data, size);
    out = md5.finishHex();
    return 1;
}

int ComputeFileMd5(const QByteArray &path, QByteArray &out, const std::function<bool()> &keepGoing)
{
    if (path.isNull())
        return 0;
    return ComputeFileMd5(SafeFile(path), out, keepGoing);
}

int ComputeFileMd5(const SafeFile &file, QByteArray &out, const std::function<bool()> &keepGoing)
{
    out.clear();
    if (!file.isOpen())
        return 0;
    quint32 size = 0;
    if (!QueryFileSize32(file.descriptor(), size))
        return 0;
    if (size == 0)
        return 1;
    DigestSink md5(DigestAlgorithm::Md5);
    // Hashed beside the read, so that the kernel's copy of each chunk costs the hashing nothing.
    if (ReadOnce(file, {}, {&md5}, keepGoing, NarrowReadAhead))
        out = md5.finishHex();
    return 1;
}
