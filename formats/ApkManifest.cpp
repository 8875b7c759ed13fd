#include "ApkManifest.h"

#include "Formats.h"
#include "archive/ZipArchive.h"

std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml)
{
    return ReadBinaryManifest(xml).value;
}

namespace {

const QByteArray ManifestName = "AndroidManifest.xml";

// The manifest entry's bytes within the cap, or why there are none in `problem` (no failure when
// the archive holds no such entry).
std::optional<QByteArray> ManifestBytes(const ZipArchive &apk, Failure &problem)
{
    const std::optional<qint64> size = apk.entrySize(ManifestName);
    if (!size)
        return std::nullopt;
    if (*size > MaxManifestBytes) {
        problem = {FailureCode::ManifestTooLarge};
        return std::nullopt;
    }
    std::optional<QByteArray> xml = apk.readEntry(ManifestName, MaxManifestBytes);
    if (!xml)
        problem = {apk.inflateLimitReached() ? FailureCode::ManifestInflateLimit
                                             : FailureCode::ManifestUnreadable};
    return xml;
}

} // namespace

ManifestReading ReadManifestEntry(const ZipArchive &apk)
{
    Failure problem;
    const std::optional<QByteArray> xml = ManifestBytes(apk, problem);
    if (!xml)
        return {std::nullopt, problem};
    const FormatReading<ApkManifest> manifest = ReadBinaryManifest(*xml);
    if (manifest.unavailable.failed())
        return {std::nullopt, manifest.unavailable};
    if (!manifest.value)
        return {std::nullopt, {FailureCode::ManifestMalformed}};
    return {manifest.value, {}};
}

std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk)
{
    return ReadManifestEntry(apk).manifest;
}

std::optional<XmlDocument> ReadManifestDocument(const ZipArchive &apk)
{
    Failure problem;
    const std::optional<QByteArray> xml = ManifestBytes(apk, problem);
    return xml ? ReadBinaryXmlDocument(*xml).value : std::nullopt;
}
