#include "ApkManifest.h"

#include "archive/ZipArchive.h"
#include "formats/FormatModule.h"

std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml)
{
    const FormatReaders *readers = FormatModule();
    return readers ? readers->readManifest(xml) : std::nullopt;
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
    if (!FormatModule())
        return {std::nullopt, FormatModuleProblem()};
    const std::optional<ApkManifest> manifest = ReadApkManifest(*xml);
    if (!manifest)
        return {std::nullopt, name + QStringLiteral(" 格式错误")};
    return {manifest, {}};
}

std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk)
{
    return ReadManifestEntry(apk).manifest;
}
