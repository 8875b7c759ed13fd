#include "ApkManifest.h"

#include "archive/ZipArchive.h"
#include "formats/FormatModule.h"

namespace {

// A manifest is tens of kilobytes; this keeps a hostile one from taking the memory.
constexpr qint64 MaxManifestBytes = 8 << 20;

} // namespace

std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml)
{
    const FormatReaders *readers = FormatModule();
    return readers ? readers->readManifest(xml) : std::nullopt;
}

std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk)
{
    const std::optional<QByteArray> xml = apk.readEntry("AndroidManifest.xml", MaxManifestBytes);
    return xml ? ReadApkManifest(*xml) : std::nullopt;
}
