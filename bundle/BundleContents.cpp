#include "BundleContents.h"

#include "ContainerMetadata.h"
#include "InnerApk.h"
#include "ReadInTurns.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <QRegularExpression>
#include <vector>

namespace {

using EachApk = std::function<void(const QByteArray &, const SafeFile &, const ZipArchive &)>;

// An inner APK read whole: its copy in memory unless it is read where it lies in the bundle,
// its bytes as a file, and its entries.
struct OpenInnerApk
{
    std::optional<MemoryFile> copy;
    std::optional<SafeFile> file;
    std::optional<ZipArchive> archive;
};

// Reads `apk`'s manifest and checks its signatures, reading the rest of it itself.
void Judge(const SafeFile &apk, const ZipArchive &archive, InnerApkFacts &facts)
{
    facts.manifest = ReadApkManifest(archive);
    facts.signatures = VerifyPackageSignatures(apk, archive);
}

// Reads the inner APK `facts` names into it, it and everything read out of it drawing on
// `budget`; its size stays -1 unless it could be read whole, and then `open` holds it.
void ReadInnerApk(const SafeFile &file, const ZipArchive &container,
                  const std::shared_ptr<InflateBudget> &budget, InnerApkFacts &facts,
                  OpenInnerApk &open)
{
    const QByteArray &name = facts.entry;
    const std::optional<EntryPlacement> placement = container.placement(name);
    const ZipDirectoryEntry *record = container.record(name);
    // Stored as it is: no copy, its bytes read in place.
    if (placement && placement->stored && record &&
        record->compressedSize == record->uncompressedSize &&
        record->uncompressedSize <= MaxInnerApkBytes) {
        open.file.emplace(file, placement->dataOffset, record->uncompressedSize);
        std::optional<SignatureCheck> signatures;
        if (!CheckStoredEntry(container, name, *open.file, *budget, [&]() -> QList<ByteSink *> {
                open.archive.emplace(*open.file, budget);
                facts.manifest = ReadApkManifest(*open.archive);
                return {&signatures.emplace(*open.file, *open.archive)};
            })) {
            facts.manifest.reset();
            return;
        }
        facts.signatures = signatures->finish();
        facts.size = record->uncompressedSize;
        return;
    }
    open.copy = ExtractInnerApk(file, container, name, budget.get());
    if (!open.copy)
        return;
    open.file.emplace(open.copy->descriptor());
    open.archive.emplace(*open.file, budget);
    facts.size = open.copy->size();
    Judge(*open.file, *open.archive, facts);
}

// What an inner APK read ahead of its turn may inflate before the turn comes: twice its own
// bytes in the bundle, room for its copy or checksum and its manifest. One that inflates more
// waits for its turn there, so whatever reading ahead has to undo, a bundle inflates at most
// twice its own size beyond its budget.
qint64 ReadAheadAllowance(const ZipArchive &container, const QByteArray &name)
{
    const ZipDirectoryEntry *record = container.record(name);
    return record ? 2 * record->compressedSize : 0;
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
    const auto unread = [&](qsizetype index) {
        return InnerApkFacts{order[index], -1, false, std::nullopt, {}};
    };
    std::vector<InnerApkFacts> apks(std::size_t(order.size()));
    std::vector<std::optional<OpenInnerApk>> open(std::size_t(order.size()));
    const std::shared_ptr<InflateBudget> &budget = container.inflateBudget();
    // Two at a time, their draws on the budget as if one after another: which APK a hostile
    // bundle runs out on stays the same.
    ReadInTurns(
        budget, order.size(),
        [&](qsizetype index) { return ReadAheadAllowance(container, order[index]); },
        [&](qsizetype index, const std::shared_ptr<InflateBudget> &drawFrom) {
            InnerApkFacts &facts = apks[std::size_t(index)];
            facts = unread(index);
            ReadInnerApk(file, container, drawFrom, facts, open[std::size_t(index)].emplace());
        },
        [&](qsizetype index, bool read) {
            InnerApkFacts &facts = apks[std::size_t(index)];
            std::optional<OpenInnerApk> &apk = open[std::size_t(index)];
            if (!read)
                facts = unread(index);
            else if (facts.size >= 0 && onEachApk)
                onEachApk(facts.entry, *apk->file, *apk->archive);
            // Two APKs are held at most: the one whose turn it is and the one read ahead.
            apk.reset();
            facts.overLimit = facts.size < 0 && budget->exhausted();
        });
    contents.apks = QList<InnerApkFacts>(apks.begin(), apks.end());
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
