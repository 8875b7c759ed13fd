#include "Report.h"

#include "ReportFiles.h"
#include "ReportOutput.h"
#include "ReportRecord.h"
#include "base/ProgramDirectory.h"

#include <QList>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum ExitStatus
{
    AllPassed = 0,
    NotAllPassed = 1,
    Refused = 2,    // a usage error, or input that is not what it should be; nothing written
    NotWritten = 3, // a record could not be written
};

// Records finished by the workers, handed out in input order.
class FinishedRecords
{
public:
    explicit FinishedRecords(qsizetype count) : records(std::size_t(count)) {}

    void put(qsizetype index, ReportRecord record)
    {
        {
            const std::lock_guard lock(mutex);
            records[std::size_t(index)] = std::move(record);
        }
        arrived.notify_all();
    }

    ReportRecord take(qsizetype index)
    {
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return records[std::size_t(index)].has_value(); });
        ReportRecord record = std::move(*records[std::size_t(index)]);
        records[std::size_t(index)].reset();
        return record;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::optional<ReportRecord>> records;
};

int Say(const QString &what, int status)
{
    std::fprintf(stderr, "pelmora：%s\n", what.toLocal8Bit().constData());
    return status;
}

// Writes to standard output; false with `error` set when the bytes did not all go out.
bool WriteOut(const QByteArray &bytes, QString &error)
{
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) ==
            std::size_t(bytes.size()) &&
        std::fflush(stdout) == 0)
        return true;
    error =
        QStringLiteral("无法写入标准输出：%1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace

int RunReport(const ReportRequest &request)
{
    ReportFileSelection selection;
    QString error;
    if (!SelectReportFiles(request, selection, error))
        return Say(error, Refused);
    if (selection.found == 0)
        return Say(request.filesFrom.isEmpty() ? QStringLiteral("给出的文件夹中没有 apk 文件")
                                               : QStringLiteral("文件列表中没有要检查的文件"),
                   NotAllPassed);
    const qsizetype selected = selection.files.size();
    // The exit status covers every record of the output file, those it held before included.
    bool allPassed = true;
    std::optional<ReportOutput> output;
    if (!request.output.isEmpty()) {
        output.emplace(request.output);
        if (!output->open(request.resume, !request.expectedSigners.isEmpty(), error))
            return Say(error, Refused);
        allPassed = output->recordsPassed();
        selection.files.removeIf(
            [&](const QByteArray &file) { return output->recordedPaths().contains(file); });
    }
    // Only read from here on, by every worker at once.
    const QList<QByteArray> files = std::move(selection.files);
    const qsizetype total = files.size();
    const qsizetype skipped = selected - total;
    const int jobs = int(qBound<qsizetype>(
        1, request.jobs > 0 ? request.jobs : qMax(1u, std::thread::hardware_concurrency()),
        qMax<qsizetype>(total, 1)));
    const bool showProgress = total + skipped > 1 && ::isatty(STDERR_FILENO);

    // Qt caches the program's path on first asking; ask here, before the workers share it.
    ProgramDirectory();
    // Each worker runs whole inspections, one at a time, each single-threaded as in the window.
    FinishedRecords finished(total);
    std::atomic<qsizetype> next = 0;
    std::atomic<bool> stopping = false;
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs && total > 0; ++i)
        workers.emplace_back([&] {
            for (qsizetype index; !stopping && (index = next++) < total;)
                finished.put(index, MakeReportRecord(files[index], request));
        });

    bool written = true;
    for (qsizetype index = 0; index < total && written; ++index) {
        const ReportRecord record = finished.take(index);
        allPassed = allPassed && record.passed;
        if (showProgress)
            std::fputs("\r\033[K", stderr);
        // Text records stand apart by a blank line; JSON Lines have none.
        written =
            output ? output->append(record.printed, error)
                   : WriteOut(index > 0 && !request.json ? '\n' + record.printed : record.printed,
                              error);
        if (showProgress && skipped > 0)
            std::fprintf(stderr, "已检查 %lld/%lld，已跳过 %lld", qlonglong(index + 1),
                         qlonglong(total), qlonglong(skipped));
        else if (showProgress)
            std::fprintf(stderr, "已检查 %lld/%lld", qlonglong(index + 1), qlonglong(total));
    }
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    stopping = true;
    for (std::thread &worker : workers)
        worker.join();
    if (!written || (output && !output->finish(error)))
        return Say(error, NotWritten);
    return allPassed ? AllPassed : NotAllPassed;
}
