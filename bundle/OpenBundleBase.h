#pragma once

#include "ApkManifest.h"
#include "BundleLayout.h"
#include "MemoryFile.h"

#include <QByteArray>
#include <optional>

class SafeFile;
class ZipArchive;
struct ContainerMetadata;

enum class BundleOutcome
{
    NotBundle, // a plain APK (AndroidManifest.xml at the root): inspect the file itself
    Damaged,   // not a readable ZIP, no base inside, or a base that cannot be read
    Bundle,
};

struct BundleOpening
{
    BundleOutcome outcome = BundleOutcome::Damaged;
    BundleKind kind = BundleKind::Apk;
    QByteArray baseEntry;           // the base's entry name inside the container
    std::optional<MemoryFile> base; // the base's bytes, sealed; its childPath() is for the tool
    ApkManifest baseManifest;
};

// Opens `container` as a bundle: recognises its layout from its entries and finds the base, the
// APK whose own manifest names no split (the container's description is only asked which to try
// first). Only the APKs tried are read, each into memory, and no more than MaxInnerApkBytes of
// them in all; nothing is written to disk.
BundleOpening OpenBundleBase(const SafeFile &container);

// The inner APKs in the order to try them as the base: the one the description names, those
// named as bases usually are, the rest, and bundletool's standalone APKs last.
QList<QByteArray> BaseCandidates(const BundleLayout &layout, const ContainerMetadata &metadata);
