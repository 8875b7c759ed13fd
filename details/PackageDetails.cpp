#include "PackageDetails.h"

#include "BundleText.h"
#include "BundleVerdict.h"
#include "DescribeSignatures.h"
#include "ExposureSections.h"
#include "FailureText.h"
#include "FileSizeText.h"
#include "HoldingsSections.h"
#include "ManifestFacts.h"
#include "PermissionSection.h"
#include "ShownDetails.h"
#include "TargetSdkText.h"
#include "apk/LauncherIcon.h"
#include "apk/ParsedVersionCode.h"
#include "apk/PermissionDefinitions.h"
#include "apk/ReadChannel.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "base/NarrowText.h"
#include "digest/ReadOnce.h"
#include "digest/SafeFile.h"
#include "inspect/ToolComplaints.h"

#include <QSet>

namespace {

const QString FileChanged = FileChangedText();

// The main window shows no MD5 for files beyond this length, so there is nothing to compare.
constexpr qint64 LargestShownMd5File = 0xFFFFFFFF;

bool SameAsInspected(const FileDigests &digests, const InspectedPackage &inspected, qint64 size)
{
    return digests.md5 == inspected.md5 || (inspected.md5.isEmpty() && size > LargestShownMd5File);
}

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

// The ABIs of the native libraries, each once, for a package the tool named none of.
void CompleteNativePlatforms(PackageFacts &facts, const QList<NativeLibrary> &libraries)
{
    if (!facts.nativePlatforms.isEmpty())
        return;
    QSet<QString> seen;
    for (const NativeLibrary &library : libraries) {
        const QString abi = FromNarrow(library.abi);
        if (!seen.contains(abi)) {
            seen.insert(abi);
            facts.nativePlatforms.append(abi);
        }
    }
}

// A bundle's contents: every inner APK, the base's icon, channel and facts, the native libraries
// of all of them. An APKM's own signature comes from the read of the file.
void LoadBundle(PackageDetails &details, const SafeFile &file, const ZipArchive &archive,
                const BundleLayout &layout, const QByteArray &baseEntry)
{
    QList<NativeLibrary> libraries;
    bool librariesRead = true;
    details.bundle = ReadBundleContents(
        file, archive, layout, baseEntry,
        [&](const QByteArray &entry, const SafeFile &apkFile, const ZipArchive &apk) {
            if (entry == baseEntry) {
                details.icon = ReadLauncherIcon(apk, details.facts.icons);
                details.channel = ReadChannel(apkFile, apk);
                details.holdings = ReadApkHoldings(apkFile, apk);
                if (const std::optional<ApkManifest> manifest = ReadApkManifest(apk)) {
                    CompleteFromManifest(details.facts, *manifest, apk);
                    details.parsedVersionCode = ParsedVersionCode(*manifest, apk);
                }
            }
            // Native code usually sits in the ABI splits; each library is named by its APK.
            const std::optional<QList<NativeLibrary>> found = ReadNativeLibraries(apk);
            librariesRead = librariesRead && found;
            for (NativeLibrary library : found.value_or(QList<NativeLibrary>())) {
                library.path = entry + '!' + '/' + library.path;
                libraries.append(library);
            }
        });
    if (librariesRead) {
        details.nativeLibraries = libraries;
        CompleteNativePlatforms(details.facts, libraries);
    }
    details.kind = details.bundle->kind;
    const QList<InnerApkFacts> &apks = details.bundle->apks;
    if (!apks.isEmpty() && apks.first().entry == baseEntry) {
        details.signatures = apks.first().signatures;
        details.manifest = apks.first().manifest;
        details.requiresSplits = apks.first().manifest && apks.first().manifest->requiresSplits;
    }
}

// The file read once here, for its digests and signatures, unless the inspection's own read
// gave them.
PackageReading ReadPackage(const InspectedPackage &inspected)
{
    if (inspected.reading)
        return *inspected.reading;
    const SafeFile &file = inspected.file->file();
    PackageReader reader(inspected);
    return reader.finish(ReadOnce(file, reader.sinks()));
}

} // namespace

QString PendingText()
{
    return QStringLiteral("计算中…");
}

QString FileChangedText()
{
    return QStringLiteral("文件已更改，请重新打开");
}

PackageDetails ToolDetails(const InspectedPackage &inspected)
{
    PackageDetails details;
    details.facts = ReadPackageFacts(inspected.toolOutput);
    for (const QByteArray &line : ToolComplaints(inspected.toolOutput))
        details.toolComplaints.append(FromNarrow(line));
    details.fileChanged = !inspected.file;
    details.readPending = details.contentsPending = bool(inspected.file);
    // Known since the file was opened; the read only confirms it.
    details.size = inspected.file ? inspected.file->file().size() : -1;
    return details;
}

void LoadContents(PackageDetails &details, const InspectedPackage &inspected,
                  const ZipArchive &archive)
{
    details.contentsPending = false;
    // Read on this thread the first time, not when the window draws the 权限 section.
    ThePlatformPermissions();
    if (!inspected.baseEntry.isEmpty()) {
        LoadBundle(details, inspected.file->file(), archive, inspected.layout, inspected.baseEntry);
        return;
    }
    details.icon = ReadLauncherIcon(archive, details.facts.icons);
    details.channel = ReadChannel(inspected.file->file(), archive);
    details.nativeLibraries = ReadNativeLibraries(archive);
    if (archive.isOpen())
        details.holdings = ReadApkHoldings(inspected.file->file(), archive);
    if (details.nativeLibraries)
        CompleteNativePlatforms(details.facts, *details.nativeLibraries);
    const std::optional<ApkManifest> manifest = ReadApkManifest(archive);
    details.manifest = manifest;
    details.requiresSplits = manifest && manifest->requiresSplits;
    if (manifest) {
        CompleteFromManifest(details.facts, *manifest, archive);
        details.parsedVersionCode = ParsedVersionCode(*manifest, archive);
    }
}

bool TakeReading(PackageDetails &details, const InspectedPackage &inspected,
                 const PackageReading &reading)
{
    const qint64 size = inspected.file->file().size();
    if (!reading.digests || !SameAsInspected(*reading.digests, inspected, size))
        return false;
    details.readPending = false;
    details.size = size;
    details.digests = *reading.digests;
    // A plain APK's own signatures; for a bundle, an APKM container's.
    if (reading.signatures && inspected.baseEntry.isEmpty())
        details.signatures = *reading.signatures;
    else if (reading.signatures)
        details.container = *reading.signatures;
    return true;
}

PackageDetails UnknownFile(const PackageDetails &details)
{
    PackageDetails unknown;
    unknown.facts = details.facts;
    unknown.toolComplaints = details.toolComplaints;
    return unknown;
}

PackageDetails AsStillOpened(const PackageDetails &details, const InspectedPackage &inspected)
{
    // What was read is the inspected file only if it is still as it was opened.
    return inspected.file->changed() ? UnknownFile(details) : details;
}

PackageDetails LoadPackageDetails(const InspectedPackage &inspected)
{
    PackageDetails details = ToolDetails(inspected);
    if (!inspected.file)
        return details;
    const PackageReading reading = ReadPackage(inspected);
    if (!TakeReading(details, inspected, reading))
        return UnknownFile(details);
    LoadContents(details, inspected, *reading.archive);
    details.fileChanged = false;
    return AsStillOpened(details, inspected);
}

DetailsSection PackageSection(const PackageDetails &details)
{
    const PackageFacts &facts = details.facts;
    // A value of the read or of the archive: pending until known, none once the file changed.
    const auto read = [&](const QString &value) {
        return details.fileChanged ? FileChanged : details.readPending ? PendingText() : value;
    };
    const auto contained = [&](const QString &value) {
        return details.contentsPending ? PendingText() : value;
    };
    DetailsRow icon{QStringLiteral("图标"), {}, false, true, {}};
    if (details.icon) {
        icon.value = FromNarrow(details.icon->path);
        icon.image = details.icon->bytes;
    }
    const QString platforms = facts.nativePlatforms.join(QStringLiteral(", "));
    // The facts the tool printed, then the file's own.
    DetailsSection section{
        QString(),
        {
            {QStringLiteral("应用名称"), facts.label},
            icon,
            {QStringLiteral("包名"), facts.packageName},
            {QStringLiteral("版本号"), facts.versionName},
            {QStringLiteral("版本代码"), facts.versionCode},
            {QStringLiteral("最低 SDK"), facts.minSdk},
            {QStringLiteral("目标 SDK"), TargetSdkText(facts.targetSdk, QDate::currentDate())},
            {QStringLiteral("编译 SDK"), facts.compileSdk},
            {QStringLiteral("原生平台"),
             !platforms.isEmpty() ? platforms : contained(QStringLiteral("无"))},
            {QStringLiteral("渠道"),
             details.fileChanged ? QString()
                                 : contained(details.channel.value_or(QStringLiteral("无")))},
        }};
    if (details.requiresSplits)
        section.rows.append(
            {QStringLiteral("安装要求"), QStringLiteral("需要拆分包（单独安装会失败）")});
    if (!details.toolComplaints.isEmpty())
        section.rows.append({QStringLiteral("工具提示"), details.toolComplaints.join(u'\n'), true});
    // A bundle's kind is known once its archive is read.
    const bool kindPending = details.contentsPending && !details.fileChanged;
    section.rows.append({
        {QStringLiteral("包类型"), kindPending ? PendingText() : BundleKindText(details.kind)},
        {QStringLiteral("文件大小"), details.fileChanged ? QString() : FileSizeText(details.size)},
        {QStringLiteral("MD5"), read(FromNarrow(details.digests.md5))},
        {QStringLiteral("SHA-1"), read(FromNarrow(details.digests.sha1))},
        {QStringLiteral("SHA-256"), read(FromNarrow(details.digests.sha256))},
    });
    return section;
}

std::optional<DetailsSection> SplitSection(const PackageDetails &details)
{
    if (!details.bundle || details.fileChanged || details.contentsPending)
        return std::nullopt;
    DetailsSection section{QStringLiteral("拆分包"), {}};
    for (const InnerApkFacts &apk : details.bundle->apks) {
        const QString purpose =
            apk.manifest ? SplitPurposeText(*apk.manifest) : QStringLiteral("无法读取");
        section.rows.append(
            {FromNarrow(apk.entry),
             apk.size < 0 ? purpose : purpose + QStringLiteral("，") + FileSizeText(apk.size)});
    }
    for (const ObbFacts &obb : details.bundle->obbs)
        section.rows.append(
            {FromNarrow(obb.entry), QStringLiteral("OBB 数据，") + FileSizeText(obb.size)});
    if (!details.bundle->notes.isEmpty())
        section.rows.append(
            {QStringLiteral("说明不符"), FailureTexts(details.bundle->notes).join(u'\n'), true});
    return section;
}

DetailsSection NativeLibrarySection(const PackageDetails &details)
{
    const QString summaryLabel = QStringLiteral("16 KB 页面");
    DetailsSection section{QStringLiteral("原生库"), {}};
    if (details.fileChanged || details.contentsPending || !details.nativeLibraries) {
        section.rows.append({summaryLabel, details.fileChanged       ? FileChanged
                                           : details.contentsPending ? PendingText()
                                                                     : PageSizeReadinessText({})});
        return section;
    }
    for (const NativeLibrary &library : *details.nativeLibraries)
        section.rows.append(
            {FromNarrow(library.path),
             QStringList{FromNarrow(library.abi), FileSizeText(library.size),
                         library.stored ? QStringLiteral("未压缩") : QStringLiteral("压缩"),
                         QStringLiteral("16 KB 页面：") + ReadinessText(library)}
                 .join(QStringLiteral("，"))});
    section.rows.append({summaryLabel, PageSizeReadinessText(PageSizeReadiness(details))});
    return section;
}

std::optional<PageSizeSummary> PageSizeReadiness(const PackageDetails &details)
{
    if (!details.nativeLibraries)
        return std::nullopt;
    return SummarizePageSize(*details.nativeLibraries);
}

QString PageSizeReadinessText(const std::optional<PageSizeSummary> &readiness)
{
    if (!readiness)
        return QStringLiteral("无法解析");
    switch (readiness->support) {
    case PageSizeSupport::Compatible:
        return QStringLiteral("兼容");
    case PageSizeSupport::Incompatible:
        return QStringLiteral("不兼容（%1 个库）").arg(readiness->notReady);
    case PageSizeSupport::None:
        break;
    }
    return QStringLiteral("无 64 位原生库");
}

QList<DetailsSection> DetailsSections(const PackageDetails &details)
{
    const PackageDetails shown = ShownDetails(details);
    QList<DetailsSection> sections = {PackageSection(shown), PermissionSection(details)};
    if (const std::optional<DetailsSection> splits = SplitSection(shown))
        sections.append(*splits);
    sections.append(SignatureSection(shown));
    // What it exposes follows who signed it.
    sections.append({ComponentSection(shown), SecurityFlagSection(shown),
                     FindingSection(shown, QDate::currentDate())});
    sections.append(NativeLibrarySection(shown));
    sections.append({CodeSection(shown), FrameworkSection(shown), SizeSection(shown)});
    return sections;
}

std::optional<PackageDetails> LoadRefusedSignatures(const InspectedPackage &inspected)
{
    if (!inspected.file)
        return std::nullopt;
    const SafeFile &file = inspected.file->file();
    const std::shared_ptr<const ZipArchive> archive =
        inspected.reading ? inspected.reading->archive : std::make_shared<const ZipArchive>(file);
    if (!archive->isOpen())
        return std::nullopt;
    // What the inspection's read checked, or a check of its own.
    const auto signatures = [&] {
        return inspected.reading && inspected.reading->signatures
                   ? *inspected.reading->signatures
                   : VerifyPackageSignatures(file, *archive);
    };
    PackageDetails details;
    details.fileChanged = false;
    // Judged as the inspection took it: a bundle only when named as one.
    if (inspected.layout.kind != BundleKind::Apk) {
        LoadBundle(details, file, *archive, inspected.layout, inspected.baseEntry);
        if (details.kind == BundleKind::Apkm)
            details.container = signatures();
    } else {
        details.signatures = signatures();
    }
    if (inspected.file->changed())
        return std::nullopt;
    return details;
}

SignatureVerdict PackageVerdict(const PackageDetails &details)
{
    if (details.container && details.container->verdict() == SignatureVerdict::Failed)
        return SignatureVerdict::Failed;
    return details.bundle ? BundleVerdict(*details.bundle) : details.signatures.verdict();
}

namespace {

// Whether a bundle fails for its container's own signature alone.
bool FailsForContainer(const PackageDetails &details)
{
    return BundleVerdict(*details.bundle) != SignatureVerdict::Failed &&
           PackageVerdict(details) == SignatureVerdict::Failed;
}

} // namespace

QString PackageVerdictText(const PackageDetails &details)
{
    if (!details.bundle)
        return VerdictText(details.signatures);
    if (!FailsForContainer(details))
        return BundleVerdictText(*details.bundle);
    return QStringLiteral("失败：容器签名 ") + FailureReason(*details.container);
}

Failure PackageVerdictFailure(const PackageDetails &details)
{
    if (!details.bundle)
        return DecidingFailure(details.signatures);
    if (!FailsForContainer(details))
        return BundleVerdictFailure(*details.bundle);
    return DecidingFailure(*details.container);
}

DetailsSection SignatureSection(const PackageDetails &details)
{
    DetailsSection section{QStringLiteral("签名"), {}};
    // A plain APK's signatures come with the read, a bundle's with its contents (and an APKM
    // container's with the read).
    if (details.fileChanged || details.readPending || details.contentsPending) {
        section.rows.append(
            {QStringLiteral("签名校验"), details.fileChanged ? FileChanged : PendingText()});
        return section;
    }
    if (details.bundle) {
        section.rows.append({QStringLiteral("签名校验"), PackageVerdictText(details)});
        section.rows.append(
            {QStringLiteral("各 APK 校验"), InnerApkVerdictsText(*details.bundle), true});
    }
    if (details.container)
        section.rows.append({QStringLiteral("容器签名"), VerdictText(*details.container)});
    for (const LabelledValue &row : DescribeSignatures(details.signatures)) {
        // A bundle's verdict is over all its APKs, given above; the base's own is in its line.
        if (!details.bundle || row.label != QStringLiteral("签名校验"))
            section.rows.append({row.label, row.value, row.multiLine});
    }
    return section;
}
