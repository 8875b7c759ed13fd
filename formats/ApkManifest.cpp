#include "ApkManifest.h"

#include "Formats.h"
#include "archive/ZipArchive.h"

std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml)
{
    return ReadBinaryManifest(xml).value;
}

ManifestReading ReadManifestEntry(const ZipArchive &apk)
{
    static const QByteArray Name = "AndroidManifest.xml";
    const QString name = QString::fromLatin1(Name);
    const std::optional<qint64> size = apk.entrySize(Name);
    if (!size)
        return {};
    if (*size > MaxManifestBytes)
        return {std::nullopt, name + QStringLiteral(" 超过大小上限")};
    const std::optional<QByteArray> xml = apk.readEntry(Name, MaxManifestBytes);
    if (!xml)
        return {std::nullopt,
                name + (apk.inflateLimitReached() ? QStringLiteral(" 解压后的数据超过上限")
                                                  : QStringLiteral(" 无法读取"))};
    const FormatReading<ApkManifest> manifest = ReadBinaryManifest(*xml);
    if (!manifest.unavailable.isEmpty())
        return {std::nullopt, manifest.unavailable};
    if (!manifest.value)
        return {std::nullopt, name + QStringLiteral(" 格式错误")};
    return {manifest.value, {}};
}

std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk)
{
    return ReadManifestEntry(apk).manifest;
}
