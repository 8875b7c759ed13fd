#include "ComparisonLoading.h"

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
    readingNew = std::thread([this] { readNew(); });
}

ComparisonLoading::~ComparisonLoading()
{
    stop = true;
    readingNew.join();
}

void ComparisonLoading::readNew()
{
    const ScopedReadStop stopping(stop);
    ByteCounter counter(newBytesRead);
    PackageRecord record = ReadPackageRecord(newPath, {.progress = &counter});
    if (stop)
        return;
    {
        const std::lock_guard lock(mutex);
        newRecord = std::move(record);
    }
    more();
}

bool ComparisonLoading::done() const
{
    const std::lock_guard lock(mutex);
    return old.done() && newRecord;
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
    return newRecord ? AsCompared(*newRecord) : ComparedPackage{newPath, {}, {}};
}
