#include "FileMd5.h"

#include "Digest.h"
#include "SafeFile.h"

#include <QFile>
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

int ComputeFileMd5(const QString &path, QByteArray &out)
{
    if (path.isNull())
        return 0;
    out.clear();
    const SafeFile file(QFile::encodeName(path));
    if (!file.isOpen())
        return 0;
    quint32 size = 0;
    if (!QueryFileSize32(file.descriptor(), size))
        return 0;
    if (size == 0)
        return 1;
    Digest md5(DigestAlgorithm::Md5);
    if (file.readWhole(
            [&](const unsigned char *data, std::size_t count) { md5.update(data, count); }))
        out = md5.finishHex();
    return 1;
}
