// libFuzzer target: a bundle's description (toc.pb, manifest.json, info.json, meta.sai_v*.json)
// is counted, refused or parsed without a crash and within its limits. The first byte picks the
// kind of bundle, the rest is the description as it would be read from the container.
#include "Require.h"
#include "bundle/ContainerMetadata.h"
#include "bundle/DescriptionLimits.h"
#include "formats/ApkManifest.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const BundleKind Kinds[] = {BundleKind::ApkSet, BundleKind::SplitApks, BundleKind::Xapk,
                                       BundleKind::Apkm};
    const BundleKind kind = Kinds[data[0] % 4];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    ContainerMetadata metadata = ReadContainerDescription(bytes, kind);
    // A description past a limit is never parsed.
    Require(!(metadata.overLimit && metadata.readable));
    if (kind == BundleKind::ApkSet)
        Require(CountTocMessages(bytes, MaxDescriptionItems).value_or(0) <= MaxDescriptionItems ||
                metadata.overLimit);
    else
        Require(CountJsonValues(bytes, MaxDescriptionItems) <= MaxDescriptionItems ||
                metadata.overLimit);
    // What it says is only ever compared with the base's own manifest.
    metadata.source = "description";
    ApkManifest base;
    base.packageName = QStringLiteral("org.example.base");
    base.versionCode = QStringLiteral("1");
    const QList<Failure> notes = MetadataDisagreements(metadata, base, "base.apk");
    Require(metadata.readable || notes.size() == 1);
    return 0;
}
