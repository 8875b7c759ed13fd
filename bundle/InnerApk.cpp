#include "InnerApk.h"

#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

namespace {

// A manifest is tens of kilobytes; this keeps a hostile one from taking the memory.
constexpr qint64 MaxManifestBytes = 8 << 20;

} // namespace

std::optional<MemoryFile> ExtractInnerApk(const ZipArchive &container, const QByteArray &name)
{
    const std::optional<qint64> size = container.entrySize(name);
    if (!size || *size > MaxInnerApkBytes)
        return std::nullopt;
    MemoryFile file("pelmora-inner-apk");
    bool written = file.isOpen();
    const bool whole = written && container.streamEntry(name, [&](const char *data, qint64 count) {
        written = written && file.append(data, count);
    });
    if (!whole || !written || file.size() != *size || !file.seal())
        return std::nullopt;
    return file;
}

std::optional<ApkManifest> ReadInnerManifest(const MemoryFile &apk)
{
    const SafeFile file(apk.procPath());
    const ZipArchive archive(file);
    const std::optional<QByteArray> xml =
        archive.readEntry("AndroidManifest.xml", MaxManifestBytes);
    return xml ? ReadApkManifest(*xml) : std::nullopt;
}
