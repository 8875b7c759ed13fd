#include "DetailsLoading.h"

#include "apk/DownloadEstimate.h"
#include "archive/ZipArchive.h"
#include "digest/ReadOnce.h"
#include "digest/ReadStop.h"
#include "digest/SafeFile.h"

DetailsLoading::DetailsLoading(const InspectedPackage &inspected, std::function<void()> more,
                               bool estimate)
    : inspected(inspected), more(std::move(more)), estimate(estimate), tool(ToolDetails(inspected)),
      shown(tool)
{
    finished = !inspected.file;
    if (!finished)
        readingThread = std::thread([this] { readFile(); });
}

DetailsLoading::~DetailsLoading()
{
    stop = true;
    // The reading thread starts the contents thread, and either starts the estimate's, so they
    // are joined in that order.
    if (readingThread.joinable())
        readingThread.join();
    if (contentsThread.joinable())
        contentsThread.join();
    if (estimateThread.joinable())
        estimateThread.join();
}

PackageDetails DetailsLoading::current() const
{
    const std::lock_guard lock(mutex);
    return shown;
}

bool DetailsLoading::done() const
{
    const std::lock_guard lock(mutex);
    return finished;
}

double DetailsLoading::readProgress() const
{
    const qint64 size = inspected.file ? inspected.file->file().size() : 0;
    return size > 0 ? qMin(1.0, double(bytesRead) / double(size)) : 1.0;
}

void DetailsLoading::readFile()
{
    const ScopedReadStop stopping(stop);
    const SafeFile &file = inspected.file->file();
    std::optional<PackageReader> reader;
    if (!inspected.reading)
        reader.emplace(inspected);
    const std::shared_ptr<const ZipArchive> archive =
        reader ? reader->fileArchive() : inspected.reading->archive;
    // Only now: the reader's checks above go through libzip, which the archive's readers use too.
    contentsThread = std::thread([this, archive] { readContents(archive); });
    PackageReading read;
    if (reader) {
        ByteCounter counter(bytesRead);
        // Two lanes of about equal work, so that neither core waits at the end: the MD5 takes as
        // long as the SHA-1 and SHA-256 together, and this thread copies each chunk besides; a
        // signature check, when the read feeds one, weighs as much again.
        QList<ByteSink *> first = {&counter, &reader->digests.sha1, &reader->digests.sha256};
        QList<ByteSink *> second = {&reader->digests.md5};
        if (reader->signatures) {
            first = {&counter, &reader->digests.md5};
            second = {&reader->digests.sha1, &reader->digests.sha256, &*reader->signatures};
        }
        const bool whole = ReadOnce(file, first, second);
        read = reader->finish(whole);
    } else {
        read = *inspected.reading;
        bytesRead = file.size();
    }
    if (stop)
        return;
    {
        const std::lock_guard lock(mutex);
        reading = std::move(read);
        compose();
    }
    more();
}

void DetailsLoading::readContents(std::shared_ptr<const ZipArchive> archive)
{
    const ScopedReadStop stopping(stop);
    PackageDetails details = tool;
    LoadContents(details, inspected, *archive);
    if (stop)
        return;
    {
        const std::lock_guard lock(mutex);
        contents = std::move(details);
        compose();
    }
    more();
}

void DetailsLoading::estimateDownload()
{
    const ScopedReadStop stopping(stop);
    const std::optional<qint64> size = EstimateDownloadSize(inspected.file->file());
    if (stop)
        return;
    {
        const std::lock_guard lock(mutex);
        shown.estimatePending = false;
        shown.estimated = true;
        // Only an estimate of the file shown counts.
        if (!inspected.file->changed())
            shown.downloadEstimate = size;
    }
    more();
}

void DetailsLoading::compose()
{
    if (finished)
        return;
    PackageDetails next = contents.value_or(tool);
    // Not the file that was inspected: nothing of it is shown, and the rest is not read.
    if (reading && !TakeReading(next, inspected, *reading)) {
        shown = UnknownFile(tool);
        finished = true;
        stop = true;
        return;
    }
    if (reading && contents) {
        finished = true;
        shown = AsStillOpened(next, inspected);
        if (estimate && !shown.fileChanged) {
            shown.estimatePending = true;
            estimateThread = std::thread([this] { estimateDownload(); });
        }
        return;
    }
    if (!inspected.file->changed())
        shown = next;
}
