#include "ApkManifest.h"

#include "Formats.h"
#include "archive/ZipArchive.h"

std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml)
{
    return ReadBinaryManifest(xml).value;
}

namespace {

const QByteArray ManifestName = "AndroidManifest.xml";

// The manifest entry's bytes within the cap, or why there are none in `problem` (empty when the
// archive holds no such entry).
std::optional<QByteArray> ManifestBytes(const ZipArchive &apk, QString &problem)
{
    const QString name = QString::fromLatin1(ManifestName);
    const std::optional<qint64> size = apk.entrySize(ManifestName);
    if (!size)
        return std::nullopt;
    if (*size > MaxManifestBytes) {
        problem = name + QStringLiteral(" 超过大小上限");
        return std::nullopt;
    }
    std::optional<QByteArray> xml = apk.readEntry(ManifestName, MaxManifestBytes);
    if (!xml)
        problem = name + (apk.inflateLimitReached() ? QStringLiteral(" 解压后的数据超过上限")
                                                    : QStringLiteral(" 无法读取"));
    return xml;
}

} // namespace

ManifestReading ReadManifestEntry(const ZipArchive &apk)
{
    QString problem;
    const std::optional<QByteArray> xml = ManifestBytes(apk, problem);
    if (!xml)
        return {std::nullopt, problem};
    const FormatReading<ApkManifest> manifest = ReadBinaryManifest(*xml);
    if (!manifest.unavailable.isEmpty())
        return {std::nullopt, manifest.unavailable};
    if (!manifest.value)
        return {std::nullopt, QString::fromLatin1(ManifestName) + QStringLiteral(" 格式错误")};
    return {manifest.value, {}};
}

std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk)
{
    return ReadManifestEntry(apk).manifest;
}

std::optional<XmlDocument> ReadManifestDocument(const ZipArchive &apk)
{
    QString problem;
    const std::optional<QByteArray> xml = ManifestBytes(apk, problem);
    return xml ? ReadBinaryXmlDocument(*xml).value : std::nullopt;
}
