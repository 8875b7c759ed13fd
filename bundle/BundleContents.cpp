#include "BundleContents.h"

#include "ContainerMetadata.h"
#include "InnerApk.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <QRegularExpression>

namespace {

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
                                  const BundleLayout &layout, const QByteArray &baseEntry,
                                  const EachApk &onEachApk)
{
    BundleContents contents;
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

SplitPurpose ReadSplitPurpose(const ApkManifest &manifest)
{
    const QString &split = manifest.split;
    if (split.isEmpty())
        return {};
    // A configuration split is "config.<qualifier>" for the base, "<feature>.config.<qualifier>"
    // for a feature module.
    const qsizetype config =
        split.startsWith(QLatin1String("config.")) ? 0 : split.indexOf(QLatin1String(".config."));
    if (manifest.isFeatureSplit || config < 0)
        return {SplitKind::Feature, split, {}};
    const QString qualifier = split.mid(split.indexOf(QLatin1String("config.")) + 7);
    const QString feature = config > 0 ? split.left(config) : QString();
    static const QStringList Abis = {QStringLiteral("armeabi"),   QStringLiteral("armeabi_v7a"),
                                     QStringLiteral("arm64_v8a"), QStringLiteral("x86"),
                                     QStringLiteral("x86_64"),    QStringLiteral("mips"),
                                     QStringLiteral("mips64")};
    static const QRegularExpression Density(QStringLiteral("^(l|m|tv|h|x{1,3}h|no|any)dpi$"));
    static const QRegularExpression Language(
        QStringLiteral("^([a-z]{2,3}(_r?[A-Z]{2})?|b\\+[a-zA-Z0-9+]+)$"));
    // Split names write the ABI's hyphen as an underscore.
    if (Abis.contains(qualifier))
        return {SplitKind::Abi, QString(qualifier).replace(u'_', u'-'), feature};
    if (Density.match(qualifier).hasMatch())
        return {SplitKind::Density, qualifier, feature};
    if (Language.match(qualifier).hasMatch())
        return {SplitKind::Language, qualifier, feature};
    return {SplitKind::Other, qualifier, feature};
}
