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

QString AlignmentText(quint64 alignment)
{
    return alignment % 1024 == 0 ? QStringLiteral("%1 KB").arg(alignment / 1024)
                                 : QStringLiteral("%1 字节").arg(alignment);
}

QString ReadinessText(const NativeLibrary &library)
{
    switch (library.ready16k) {
    case PageReadiness::Ready:
        return QStringLiteral("兼容");
    case PageReadiness::NotApplicable:
        return QStringLiteral("不适用");
    case PageReadiness::Unreadable:
        return QStringLiteral("无法解析");
    case PageReadiness::NotReady:
        break;
    }
    QStringList reasons;
    if (!library.segmentsAligned)
        reasons.append(QStringLiteral("段对齐 ") + AlignmentText(library.loadAlignment));
    if (!library.dataAligned)
        reasons.append(library.stored ? QStringLiteral("未压缩数据不在 16 KB 边界")
                                      : QStringLiteral("数据位置未知"));
    return QStringLiteral("不兼容（%1）").arg(reasons.join(QStringLiteral("；")));
}

QString SummaryText(const PageSizeSummary &summary)
{
    switch (summary.support) {
    case PageSizeSupport::Compatible:
        return QStringLiteral("兼容");
    case PageSizeSupport::Incompatible:
        return QStringLiteral("不兼容（%1 个库）").arg(summary.notReady);
    case PageSizeSupport::None:
        break;
    }
    return QStringLiteral("无 64 位原生库");
}

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
    details.nativeLibraries = ReadNativeLibraries(archive);
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

DetailsSection NativeLibrarySection(const PackageDetails &details)
{
    const QString summaryLabel = QStringLiteral("16 KB 页面");
    DetailsSection section{QStringLiteral("原生库"), {}};
    if (details.fileChanged || !details.nativeLibraries) {
        section.rows.append(
            {summaryLabel, details.fileChanged ? FileChanged : QStringLiteral("无法解析")});
        return section;
    }
    for (const NativeLibrary &library : *details.nativeLibraries)
        section.rows.append(
            {FromNarrow(library.path),
             QStringList{FromNarrow(library.abi), FileSizeText(library.size),
                         library.stored ? QStringLiteral("未压缩") : QStringLiteral("压缩"),
                         QStringLiteral("16 KB 页面：") + ReadinessText(library)}
                 .join(QStringLiteral("，"))});
    section.rows.append({summaryLabel, SummaryText(SummarizePageSize(*details.nativeLibraries))});
    return section;
}

QList<DetailsSection> DetailsSections(const PackageDetails &details)
{
    return {PackageSection(details), SignatureSection(details), NativeLibrarySection(details)};
}
