#include "PlatformPackage.h"

#include "archive/EntryReading.h"
#include "archive/ZipArchive.h"
#include "archive/ZipDirectory.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"

#include <sys/mman.h>

namespace {

// framework-res.apk keeps its table of 31 MB stored. Copied out, that is 7,800 fresh pages to
// fault in, a tenth of a second in every process that ranks a permission. Mapped, the table is
// read where it lies in the page cache, checked as every read of an entry is checked. Nothing
// when the table is compressed, too large or does not check out, or the file cannot be mapped.
std::optional<QByteArray> MapStoredTable(const SafeFile &file, const ZipArchive &archive,
                                         std::shared_ptr<const void> &mapping)
{
    const ZipDirectoryEntry *record = archive.record("resources.arsc");
    if (!record || record->method != 0 || record->uncompressedSize > MaxTableBytes)
        return std::nullopt;
    const qint64 length = file.size();
    void *address = ::mmap(nullptr, std::size_t(length), PROT_READ, MAP_PRIVATE, file.descriptor(),
                           off_t(file.origin()));
    if (address == MAP_FAILED)
        return std::nullopt;
    std::shared_ptr<const void> pages(address, [length](const void *start) {
        ::munmap(const_cast<void *>(start), std::size_t(length));
    });
    // The directory was read from this file, so the entry's data lies within it.
    const char *data = static_cast<const char *>(address) + record->dataOffset;
    const std::unique_ptr<EntryReading> check =
        archive.readFed(*record, [](const char *, qint64) {});
    if (!check || !check->feed(data, record->compressedSize) || !check->finish())
        return std::nullopt;
    mapping = std::move(pages);
    return QByteArray::fromRawData(data, qsizetype(record->uncompressedSize));
}

PlatformPackage ReadPlatformPackage()
{
    PlatformPackage platform;
    const SafeFile file{QByteArray(PlatformPackage::Path)};
    const ZipArchive archive(file);
    if (!archive.isOpen()) {
        platform.problem = {FailureCode::PlatformPackageUnreadable,
                            {QLatin1String(PlatformPackage::Path)}};
        return platform;
    }
    const std::optional<QByteArray> mapped = MapStoredTable(file, archive, platform.mapping);
    platform.table = mapped ? ReadResourceTable(*mapped) : OpenResourceTable(archive);
    platform.manifest = ReadManifestDocument(archive);
    if (!platform.table || !platform.manifest)
        platform.problem = {FailureCode::PlatformPackageMalformed,
                            {QLatin1String(PlatformPackage::Path)}};
    return platform;
}

} // namespace

const PlatformPackage &ThePlatformPackage()
{
    static const PlatformPackage platform = ReadPlatformPackage();
    return platform;
}
