#include "PackageFile.h"

#include <fcntl.h>
#include <unistd.h>

PackageFile::PackageFile(const QByteArray &path) : name(path)
{
    if (!path.isEmpty())
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 && ::fstat(fd, &opened) != 0) {
        ::close(fd);
        fd = -1;
    }
    regular.emplace(fd);
}

PackageFile::~PackageFile()
{
    if (fd >= 0)
        ::close(fd);
}

QString PackageFile::childPath() const
{
    return QStringLiteral("/dev/fd/%1").arg(fd);
}

bool PackageFile::changed() const
{
    if (fd < 0)
        return false;
    struct stat now;
    return ::fstat(fd, &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino ||
           now.st_size != opened.st_size || now.st_ctim.tv_sec != opened.st_ctim.tv_sec ||
           now.st_ctim.tv_nsec != opened.st_ctim.tv_nsec;
}
