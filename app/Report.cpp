#include "Report.h"

#include "ReportFiles.h"
#include "ReportRecord.h"
#include "inspect/ProgramDirectory.h"

#include <QList>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

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

void WriteOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int RunReport(const ReportRequest &request)
{
    const QList<QByteArray> files = CollectReportFiles(request.paths);
    const qsizetype total = files.size();
    if (total == 0) {
        std::fputs("pelmora：给出的文件夹中没有 apk 文件\n", stderr);
        return 1;
    }
    const int jobs = int(qBound<qsizetype>(
        1, request.jobs > 0 ? request.jobs : qMax(1u, std::thread::hardware_concurrency()), total));
    const bool showProgress = total > 1 && ::isatty(STDERR_FILENO);

    // Qt caches the program's path on first asking; ask here, before the workers share it.
    ProgramDirectory();
    // Each worker runs whole inspections, one at a time, each single-threaded as in the window.
    FinishedRecords finished(total);
    std::atomic<qsizetype> next = 0;
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs; ++i)
        workers.emplace_back([&] {
            for (qsizetype index; (index = next++) < total;)
                finished.put(index, MakeReportRecord(files[index], request));
        });

    bool allPassed = true;
    for (qsizetype index = 0; index < total; ++index) {
        const ReportRecord record = finished.take(index);
        allPassed = allPassed && record.passed;
        if (showProgress)
            std::fputs("\r\033[K", stderr);
        // Text records stand apart by a blank line; JSON Lines have none.
        WriteOut(index > 0 && !request.json ? '\n' + record.printed : record.printed);
        if (showProgress)
            std::fprintf(stderr, "已检查 %lld/%lld", qlonglong(index + 1), qlonglong(total));
    }
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    for (std::thread &worker : workers)
        worker.join();
    return allPassed ? 0 : 1;
}
