#include "FileList.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString Unreadable(const QByteArray &list, int error)
{
    return QStringLiteral("无法读取文件列表 “%1”：%2")
        .arg(QString::fromLocal8Bit(list), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

bool ReadFileList(const QByteArray &list, char separator,
                  const std::function<void(const QByteArray &)> &take, QString &error)
{
    const bool standardInput = list == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(list.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Unreadable(list, errno);
        return false;
    }
    QByteArray pending;
    QByteArray block(1 << 20, Qt::Uninitialized);
    int failure = 0;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), std::size_t(block.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            failure = got < 0 ? errno : 0;
            break;
        }
        const QByteArrayView read(block.constData(), got);
        qsizetype start = 0;
        for (qsizetype end; (end = read.indexOf(separator, start)) >= 0; start = end + 1) {
            pending.append(read.sliced(start, end - start));
            if (!pending.isEmpty())
                take(pending);
            pending.clear();
        }
        pending.append(read.sliced(start));
    }
    if (!standardInput)
        ::close(fd);
    if (failure != 0) {
        error = Unreadable(list, failure);
        return false;
    }
    if (!pending.isEmpty())
        take(pending);
    return true;
}
