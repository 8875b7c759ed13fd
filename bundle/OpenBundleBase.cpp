#include "OpenBundleBase.h"

#include "ContainerMetadata.h"
#include "InnerApk.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "formats/Formats.h"

#include <QSet>

QList<QByteArray> BaseCandidates(const BundleLayout &layout, const ContainerMetadata &metadata)
{
    QList<QByteArray> first = {metadata.baseEntry, "base.apk", "splits/base-master.apk",
                               "universal.apk", metadata.packageName.toUtf8() + ".apk"};
    QList<QByteArray> candidates, standalones;
    QSet<QByteArray> chosen;
    for (const QByteArray &name : first)
        if (layout.apks.contains(name) && !chosen.contains(name)) {
            chosen.insert(name);
            candidates.append(name);
        }
    for (const QByteArray &name : layout.apks)
        if (!chosen.contains(name))
            (name.startsWith("standalones/") ? standalones : candidates).append(name);
    return candidates + standalones;
}

namespace {

// The manifest of an APK the container stores as it is, read where it lies.
std::optional<ApkManifest> StoredApkManifest(const SafeFile &container, const ZipArchive &archive,
                                             const QByteArray &name,
                                             const std::shared_ptr<InflateBudget> &budget)
{
    const std::optional<EntryPlacement> placement = archive.placement(name);
    const std::optional<qint64> size = archive.entrySize(name);
    if (!placement || !placement->stored || !size || *size > MaxInnerApkBytes)
        return std::nullopt;
    const SafeFile apk(container, placement->dataOffset, *size);
    return ReadApkManifest(ZipArchive(apk, budget));
}

} // namespace

BundleOpening OpenBundleBase(const SafeFile &container, BaseCopy copy)
{
    BundleOpening opening;
    const ZipArchive archive(container);
    opening.budget = archive.inflateBudget();
    if (!archive.isOpen()) {
        opening.problem = archive.problem();
        return opening;
    }
    opening.layout = ReadBundleLayout(archive.entryNames());
    const BundleLayout &layout = opening.layout;
    if (layout.kind == BundleKind::Apk) {
        opening.outcome = BundleOutcome::NotBundle;
        return opening;
    }
    const ContainerMetadata metadata = ReadContainerMetadata(archive, layout);
    if (metadata.overLimit) {
        opening.problem = {FailureCode::BundleDescriptionOverLimit,
                           {QString::fromUtf8(metadata.source)}};
        return opening;
    }
    // The base is told by its manifest, which only the formats module reads.
    if (const Failure unavailable = FormatReadersUnavailable(); unavailable.failed()) {
        opening.problem = unavailable;
        return opening;
    }
    opening.problem = {FailureCode::BundleBaseMissing};
    // Together the APKs tried may inflate no more than one base may: a hostile container of
    // many large entries costs no more than one.
    qint64 budget = MaxInnerApkBytes;
    for (const QByteArray &name : BaseCandidates(layout, metadata)) {
        budget -= archive.entrySize(name).value_or(0);
        if (budget < 0)
            break;
        if (copy == BaseCopy::Later) {
            const std::optional<ApkManifest> stored =
                StoredApkManifest(container, archive, name, opening.budget);
            if (stored && stored->split.isEmpty()) {
                opening.outcome = BundleOutcome::Bundle;
                opening.problem = {};
                opening.baseEntry = name;
                opening.storedOffset = archive.placement(name)->dataOffset;
                opening.storedSize = *archive.entrySize(name);
                opening.baseManifest = *stored;
                return opening;
            }
            if (stored)
                continue;
        }
        std::optional<MemoryFile> apk = CopyStoredInnerApk(container, archive, name);
        if (!apk)
            apk = ExtractInnerApk(container, archive, name);
        const std::optional<ApkManifest> manifest =
            apk ? ReadInnerManifest(*apk, opening.budget) : std::nullopt;
        if (manifest && manifest->split.isEmpty()) {
            opening.outcome = BundleOutcome::Bundle;
            opening.problem = {};
            opening.baseEntry = name;
            opening.base = std::move(apk);
            opening.baseManifest = *manifest;
            return opening;
        }
    }
    return opening;
}
