#include "PackageFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// The largest file copied where no lease is to be had: as much as an inner APK may hold in memory.
constexpr qint64 LargestCopy = qint64(2) << 30;

} // namespace

PackageFile::PackageFile(const QByteArray &path) : name(path)
{
    if (!path.isEmpty())
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 && ::fstat(fd, &opened) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0 && S_ISREG(opened.st_mode)) {
        lease.emplace(fd);
        if (lease->taken()) {
            kept = Keeping::Leased;
            // What the lease keeps from now on: a writer that was done before it changed nothing
            // read here.
            ::fstat(fd, &opened);
        } else if (lease->refusedForWriter()) {
            kept = Keeping::BeingWritten;
        } else if (opened.st_size <= LargestCopy) {
            copy.emplace("pelmora-package");
            if (copy->appendFrom(fd, 0, opened.st_size) && copy->seal())
                kept = Keeping::Copied;
            else
                copy.reset();
        }
    }
    regular.emplace(descriptor());
}

PackageFile::~PackageFile()
{
    if (fd >= 0)
        ::close(fd);
}

QString PackageFile::childPath() const
{
    return QStringLiteral("/dev/fd/%1").arg(descriptor());
}

bool PackageFile::changed() const
{
    if (fd < 0)
        return false;
    struct stat now;
    return ::fstat(fd, &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino ||
           now.st_size != opened.st_size || now.st_ctim.tv_sec != opened.st_ctim.tv_sec ||
           now.st_ctim.tv_nsec != opened.st_ctim.tv_nsec || openedForWriting();
}
