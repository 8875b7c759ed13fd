#include "PackageDetails.h"

#include "FileSizeText.h"
#include "archive/ZipArchive.h"
#include "channel/ReadChannel.h"
#include "digest/SafeFile.h"
#include "inspect/NarrowText.h"
#include "signing/DescribeSignatures.h"
#include "signing/VerifyPackageSignatures.h"

namespace {

const QString FileChanged = QStringLiteral("文件已更改，请重新打开");

// The main window shows no MD5 for files beyond this length, so there is nothing to compare.
constexpr qint64 LargestShownMd5File = 0xFFFFFFFF;

bool SameAsInspected(const FileDigests &digests, const InspectedPackage &inspected, qint64 size)
{
    return digests.md5 == inspected.md5 || (inspected.md5.isEmpty() && size > LargestShownMd5File);
}

} // namespace

PackageDetails LoadPackageDetails(const InspectedPackage &inspected)
{
    PackageDetails details;
    details.facts = ReadPackageFacts(inspected.toolOutput);
    const SafeFile file(inspected.path);
    const std::optional<FileDigests> digests = ComputeFileDigests(file);
    if (!digests || !SameAsInspected(*digests, inspected, file.size()))
        return details;
    details.fileChanged = false;
    details.size = file.size();
    details.digests = *digests;
    const ZipArchive archive(file);
    details.icon = ReadBitmapIcon(archive, details.facts.icons);
    details.channel = ReadChannel(file, archive);
    details.signatures = VerifyPackageSignatures(file, archive);
    return details;
}

DetailsSection PackageSection(const PackageDetails &details)
{
    const PackageFacts &facts = details.facts;
    const auto digest = [&](const QByteArray &hex) {
        return details.fileChanged ? FileChanged : FromNarrow(hex);
    };
    DetailsRow icon{QStringLiteral("图标"), {}, false, true, {}};
    if (details.icon) {
        icon.value = FromNarrow(details.icon->path);
        icon.image = details.icon->bytes;
    }
    return {
        QString(),
        {
            {QStringLiteral("应用名称"), facts.label},
            icon,
            {QStringLiteral("包名"), facts.packageName},
            {QStringLiteral("版本号"), facts.versionName},
            {QStringLiteral("版本代码"), facts.versionCode},
            {QStringLiteral("最低 SDK"), facts.minSdk},
            {QStringLiteral("目标 SDK"), facts.targetSdk},
            {QStringLiteral("编译 SDK"), facts.compileSdk},
            {QStringLiteral("权限"), facts.permissions.join(u'\n'), true},
            {QStringLiteral("原生平台"), facts.nativePlatforms.isEmpty()
                                             ? QStringLiteral("无")
                                             : facts.nativePlatforms.join(QStringLiteral(", "))},
            {QStringLiteral("渠道"),
             details.fileChanged ? QString() : details.channel.value_or(QStringLiteral("无"))},
            {QStringLiteral("文件大小"),
             details.fileChanged ? QString() : FileSizeText(details.size)},
            {QStringLiteral("MD5"), digest(details.digests.md5)},
            {QStringLiteral("SHA-1"), digest(details.digests.sha1)},
            {QStringLiteral("SHA-256"), digest(details.digests.sha256)},
        }};
}

DetailsSection SignatureSection(const PackageDetails &details)
{
    DetailsSection section{QStringLiteral("签名"), {}};
    if (details.fileChanged) {
        section.rows.append({QStringLiteral("签名校验"), FileChanged});
        return section;
    }
    for (const LabelledValue &row : DescribeSignatures(details.signatures))
        section.rows.append({row.label, row.value, row.multiLine});
    return section;
}

QList<DetailsSection> DetailsSections(const PackageDetails &details)
{
    return {PackageSection(details), SignatureSection(details)};
}
