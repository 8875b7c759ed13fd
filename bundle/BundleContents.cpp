#include "BundleContents.h"

#include "ContainerMetadata.h"
#include "InnerApk.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "signing/DescribeSignatures.h"
#include "signing/VerifyPackageSignatures.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

QStringList SignerDigests(const SignatureReport &report)
{
    QStringList digests;
    for (const SignerFacts &signer : report.signers)
        digests.append(signer.certificate.sha256);
    return digests;
}

// Why `apk` cannot be installed with the base; nothing when it can.
std::optional<QString> InstallFailure(const InnerApkFacts &apk, const InnerApkFacts &base)
{
    if (apk.size < 0)
        return apk.overLimit ? QStringLiteral("解压后的数据超过上限") : QStringLiteral("无法读取");
    switch (apk.signatures.verdict()) {
    case SignatureVerdict::Unsigned:
        return QStringLiteral("未签名");
    case SignatureVerdict::Failed:
        return FailureReason(apk.signatures);
    case SignatureVerdict::Verified:
        break;
    }
    if (SignerDigests(apk.signatures) != SignerDigests(base.signatures))
        return QStringLiteral("签名者与基础 APK 不同");
    return std::nullopt;
}

bool HasBase(const BundleContents &contents)
{
    return !contents.apks.isEmpty() && contents.apks.first().entry == contents.baseEntry;
}

// The first APK that cannot be installed with the base, and why; nothing when all can.
std::optional<QString> FirstFailure(const BundleContents &contents)
{
    if (!HasBase(contents))
        return QStringLiteral("找不到基础 APK");
    for (const InnerApkFacts &apk : contents.apks)
        if (const std::optional<QString> why = InstallFailure(apk, contents.apks.first()))
            return QString::fromUtf8(apk.entry) + u' ' + *why;
    return std::nullopt;
}

using EachApk = std::function<void(const QByteArray &, const SafeFile &, const ZipArchive &)>;

void Judge(const SafeFile &apk, const ZipArchive &archive, InnerApkFacts &facts)
{
    facts.manifest = ReadApkManifest(archive);
    facts.signatures = VerifyPackageSignatures(apk, archive);
}

// Reads the inner APK `facts` names into it; its size stays -1 unless it could be read whole.
void ReadInnerApk(const SafeFile &file, const ZipArchive &container, InnerApkFacts &facts,
                  const EachApk &onEachApk)
{
    const QByteArray &name = facts.entry;
    // The container's budget, so that all of a bundle inflates no more than it may.
    const std::shared_ptr<InflateBudget> &budget = container.inflateBudget();
    const std::optional<EntryPlacement> placement = container.placement(name);
    const ZipDirectoryEntry *record = container.record(name);
    // Stored as it is: no copy, its bytes read in place.
    if (placement && placement->stored && record &&
        record->compressedSize == record->uncompressedSize &&
        record->uncompressedSize <= MaxInnerApkBytes) {
        const SafeFile apk(file, placement->dataOffset, record->uncompressedSize);
        std::optional<ZipArchive> archive;
        InnerApkFacts judged = facts;
        if (!CheckStoredEntry(container, name, apk, [&] {
                archive.emplace(apk, budget);
                Judge(apk, *archive, judged);
            }))
            return;
        facts = judged;
        facts.size = record->uncompressedSize;
        if (onEachApk)
            onEachApk(name, apk, *archive);
        return;
    }
    const std::optional<MemoryFile> copy = ExtractInnerApk(container, name);
    if (!copy)
        return;
    const SafeFile apk(copy->descriptor());
    const ZipArchive archive(apk, budget);
    facts.size = copy->size();
    Judge(apk, archive, facts);
    if (onEachApk)
        onEachApk(name, apk, archive);
}

} // namespace

BundleContents ReadBundleContents(const SafeFile &file, const ZipArchive &container,
                                  const QByteArray &baseEntry, const EachApk &onEachApk)
{
    BundleContents contents;
    const BundleLayout layout = ReadBundleLayout(container.entryNames());
    contents.kind = layout.kind;
    contents.baseEntry = baseEntry;
    QList<QByteArray> order = layout.apks;
    if (order.removeOne(baseEntry))
        order.prepend(baseEntry);
    for (const QByteArray &name : std::as_const(order)) {
        InnerApkFacts facts{name, -1, false, std::nullopt, {}};
        // Once the bundle has inflated all it may, the APKs left are not read.
        const InflateBudget &budget = *container.inflateBudget();
        if (!budget.exhausted())
            ReadInnerApk(file, container, facts, onEachApk);
        facts.overLimit = facts.size < 0 && budget.exhausted();
        contents.apks.append(facts);
    }
    for (const QByteArray &name : layout.obbs)
        contents.obbs.append({name, container.entrySize(name).value_or(-1)});
    if (!contents.apks.isEmpty() && contents.apks.first().entry == baseEntry &&
        contents.apks.first().manifest)
        contents.notes = MetadataDisagreements(ReadContainerMetadata(container, layout),
                                               *contents.apks.first().manifest, baseEntry);
    return contents;
}

SignatureVerdict BundleVerdict(const BundleContents &contents)
{
    const bool allUnsigned =
        HasBase(contents) &&
        std::all_of(contents.apks.begin(), contents.apks.end(), [](const InnerApkFacts &apk) {
            return apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Unsigned;
        });
    if (allUnsigned)
        return SignatureVerdict::Unsigned;
    return FirstFailure(contents) ? SignatureVerdict::Failed : SignatureVerdict::Verified;
}

QString BundleVerdictText(const BundleContents &contents)
{
    switch (BundleVerdict(contents)) {
    case SignatureVerdict::Verified:
        return QStringLiteral("通过");
    case SignatureVerdict::Unsigned:
        return QStringLiteral("未签名");
    case SignatureVerdict::Failed:
        break;
    }
    return QStringLiteral("失败：") + *FirstFailure(contents);
}

QString InnerApkVerdictsText(const BundleContents &contents)
{
    QStringList lines;
    for (const InnerApkFacts &apk : contents.apks) {
        const std::optional<QString> failure = InstallFailure(apk, contents.apks.first());
        const bool isUnsigned =
            apk.size >= 0 && apk.signatures.verdict() == SignatureVerdict::Unsigned;
        const QString state = !failure     ? QStringLiteral("通过")
                              : isUnsigned ? *failure
                                           : QStringLiteral("失败：") + *failure;
        lines.append(QString::fromUtf8(apk.entry) + QStringLiteral(": ") + state);
    }
    return lines.join(QLatin1Char('\n'));
}

QString SplitPurposeText(const ApkManifest &manifest)
{
    const QString &split = manifest.split;
    if (split.isEmpty())
        return QStringLiteral("基础 APK");
    // A configuration split is "config.<qualifier>" for the base, "<feature>.config.<qualifier>"
    // for a feature module.
    const qsizetype config =
        split.startsWith(QLatin1String("config.")) ? 0 : split.indexOf(QLatin1String(".config."));
    if (manifest.isFeatureSplit || config < 0)
        return QStringLiteral("功能模块 ") + split;
    const QString qualifier = split.mid(split.indexOf(QLatin1String("config.")) + 7);
    const QString feature =
        config > 0 ? QStringLiteral("（功能模块 %1）").arg(split.left(config)) : QString();
    static const QStringList Abis = {QStringLiteral("armeabi"),   QStringLiteral("armeabi_v7a"),
                                     QStringLiteral("arm64_v8a"), QStringLiteral("x86"),
                                     QStringLiteral("x86_64"),    QStringLiteral("mips"),
                                     QStringLiteral("mips64")};
    static const QRegularExpression Density(QStringLiteral("^(l|m|tv|h|x{1,3}h|no|any)dpi$"));
    static const QRegularExpression Language(
        QStringLiteral("^([a-z]{2,3}(_r?[A-Z]{2})?|b\\+[a-zA-Z0-9+]+)$"));
    if (Abis.contains(qualifier))
        return QStringLiteral("原生平台 ") + QString(qualifier).replace(u'_', u'-') + feature;
    if (Density.match(qualifier).hasMatch())
        return QStringLiteral("屏幕密度 ") + qualifier + feature;
    if (Language.match(qualifier).hasMatch())
        return QStringLiteral("语言 ") + qualifier + feature;
    return QStringLiteral("配置 ") + qualifier + feature;
}
