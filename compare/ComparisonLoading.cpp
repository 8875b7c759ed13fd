#include "ComparisonLoading.h"

#include "details/OutcomeText.h"
#include "digest/ReadOnce.h"
#include "digest/ReadStop.h"

#include <sys/stat.h>

namespace {

qint64 SizeByName(const QByteArray &path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 ? qint64(info.st_size) : 0;
}

} // namespace

ComparisonLoading::ComparisonLoading(const InspectedPackage &shown, const QByteArray &newPath,
                                     std::function<void()> more)
    : shown(shown), newPath(newPath), more(std::move(more)), newSize(SizeByName(newPath)),
      old(shown, this->more)
{
    inspecting = std::thread([this] { inspectNew(); });
}

ComparisonLoading::~ComparisonLoading()
{
    stop = true;
    // The inspecting thread starts the new package's loading, so it is joined first.
    inspecting.join();
}

void ComparisonLoading::inspectNew()
{
    InspectionResult result;
    {
        const ScopedReadStop stopping(stop);
        ByteCounter counter(newBytesRead);
        result = InspectPackage(newPath, InspectionRead::Everything, &counter);
    }
    if (stop)
        return;
    {
        const std::lock_guard lock(mutex);
        if (result.package)
            loadingNew = std::make_unique<DetailsLoading>(*result.package, more);
        inspection = std::move(result);
    }
    more();
}

bool ComparisonLoading::done() const
{
    const std::lock_guard lock(mutex);
    return old.done() && inspection && (!loadingNew || loadingNew->done());
}

double ComparisonLoading::readProgress() const
{
    const qint64 oldSize = shown.file ? shown.file->file().size() : 0;
    const double read =
        old.readProgress() * double(oldSize) + double(qMin<qint64>(newBytesRead, newSize));
    return oldSize + newSize > 0 ? qMin(1.0, read / double(oldSize + newSize)) : 1.0;
}

ComparedPackage ComparisonLoading::oldPackage() const
{
    return {shown.path, {}, old.current()};
}

ComparedPackage ComparisonLoading::newPackage() const
{
    const std::lock_guard lock(mutex);
    if (!inspection || !loadingNew)
        return {newPath, inspection ? OutcomeText(*inspection) : QString(), {}};
    return {newPath, {}, loadingNew->current()};
}
