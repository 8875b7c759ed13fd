#include "ReportOutput.h"

#include "ReportRecord.h"

#include <QByteArrayView>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far past the longest record a package can make: a line longer is not one.
constexpr qsizetype LongestRecord = qsizetype(256) << 20;

} // namespace

ReportOutput::~ReportOutput()
{
    if (fd >= 0)
        ::close(fd);
}

QString ReportOutput::failed(const char *what, int error) const
{
    return QStringLiteral("%1输出文件 “%2”：%3")
        .arg(QString::fromUtf8(what), QString::fromLocal8Bit(path),
             QString::fromLocal8Bit(std::strerror(error)));
}

bool ReportOutput::open(bool resume, bool signersExpected, QString &error)
{
    fd = ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = failed("无法打开", errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = QStringLiteral("输出文件 “%1” 不是普通文件").arg(QString::fromLocal8Bit(path));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? QStringLiteral("输出文件 “%1” 正被另一个 pelmora 使用")
                                           .arg(QString::fromLocal8Bit(path))
                                     : failed("无法锁定", errno);
        return false;
    }
    if (!resume) {
        if (info.st_size == 0)
            return true;
        error = QStringLiteral("输出文件 “%1” 已有内容；要接着写，请加 --resume")
                    .arg(QString::fromLocal8Bit(path));
        return false;
    }
    const qint64 whole = readRecords(signersExpected, error);
    if (whole < 0)
        return false;
    // The part of a record that a killed run left at the end goes; the record is made again.
    if (::fstat(fd, &info) == 0 && info.st_size > whole && ::ftruncate(fd, whole) != 0) {
        error = failed("无法截短", errno);
        return false;
    }
    return true;
}

qint64 ReportOutput::readRecords(bool signersExpected, QString &error)
{
    const auto notRecords = [&](qint64 lineNumber) {
        error = QStringLiteral("输出文件 “%1” 第 %2 行不是 pelmora 报告的 JSON 记录，不能接着写")
                    .arg(QString::fromLocal8Bit(path))
                    .arg(lineNumber);
        return -1;
    };
    QByteArray block(1 << 20, Qt::Uninitialized);
    QByteArray line;
    qint64 offset = 0;
    qint64 whole = 0;
    qint64 lineNumber = 1;
    for (;;) {
        const ssize_t got = ::pread(fd, block.data(), std::size_t(block.size()), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = failed("无法读取", errno);
            return -1;
        }
        if (got == 0)
            return whole;
        offset += got;
        const QByteArrayView read(block.constData(), got);
        qsizetype start = 0;
        for (qsizetype end; (end = read.indexOf('\n', start)) >= 0; start = end + 1) {
            line.append(read.sliced(start, end - start));
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            const QByteArray recordPath = RecordPath(record);
            if (recordPath.isEmpty())
                return notRecords(lineNumber);
            recorded.insert(recordPath);
            passed = passed && RecordPassed(record, signersExpected);
            whole += line.size() + 1;
            line.clear();
            ++lineNumber;
        }
        line.append(read.sliced(start));
        // What follows the last whole line can only be the start of a record.
        if ((!line.isEmpty() && !line.startsWith('{')) || line.size() > LongestRecord)
            return notRecords(lineNumber);
    }
}

bool ReportOutput::append(const QByteArray &record, QString &error)
{
    struct stat before;
    if (::fstat(fd, &before) != 0) {
        error = failed("无法写入", errno);
        return false;
    }
    qsizetype written = 0;
    while (written < record.size()) {
        const ssize_t wrote =
            ::write(fd, record.constData() + written, std::size_t(record.size() - written));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            error = failed("无法写入", wrote < 0 ? errno : ENOSPC);
            // A partial line would glue the next run's first record to it.
            if (written > 0 && ::ftruncate(fd, before.st_size) != 0)
                error += QStringLiteral("；末尾留下了不完整的一行，--resume 时会去掉");
            return false;
        }
        written += wrote;
    }
    return true;
}

bool ReportOutput::finish(QString &error)
{
    if (::fdatasync(fd) == 0)
        return true;
    error = failed("无法把记录存入", errno);
    return false;
}
