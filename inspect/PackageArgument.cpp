#include "PackageArgument.h"

#include <fcntl.h>
#include <unistd.h>

PackageArgument::PackageArgument(const QByteArray &path)
{
    if (path.isEmpty())
        return;
    argument = QString::fromUtf8(path);
    if (argument.toUtf8() == path)
        return;
    // Close-on-exec here; only the tool's child clears it. Non-blocking, so a FIFO cannot hang
    // the window; folders open too, so the tool judges them as it would by name.
    fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0)
        argument = QStringLiteral("/dev/fd/%1").arg(fd);
}

PackageArgument::~PackageArgument()
{
    if (fd >= 0)
        ::close(fd);
}
