#pragma once

#include "BundleLayout.h"
#include "base/MemoryFile.h"
#include "formats/ApkManifest.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class SafeFile;
class ZipArchive;
struct ContainerMetadata;
struct InflateBudget;

enum class BundleOutcome
{
    NotBundle, // a plain APK (AndroidManifest.xml at the root): inspect the file itself
    Damaged,   // not a readable ZIP, a description past its limits, or no readable base inside
    Bundle,
};

struct BundleOpening
{
    BundleOutcome outcome = BundleOutcome::Damaged;
    Failure problem;                // why it is damaged
    BundleLayout layout;            // what its entries say it is; of kind Apk when not a bundle
    QByteArray baseEntry;           // the base's entry name inside the container
    std::optional<MemoryFile> base; // the base's bytes, sealed; its childPath() is for the tool
    // A base the container stores as it is, left uncopied (BaseCopy::Later): where its bytes lie
    // in the container. `base` is then empty.
    qint64 storedOffset = -1;
    qint64 storedSize = 0;
    ApkManifest baseManifest;
    // What the container's archive and every APK read out of it draw on together.
    std::shared_ptr<InflateBudget> budget;
};

enum class BaseCopy
{
    Now,   // the base is copied into memory before OpenBundleBase returns
    Later, // a stored base is left where it is, for the caller's own read of the container to
           // copy as it goes by (StoredCopy); one the container compresses is copied now
};

// Opens `container` as a bundle: recognises its layout from its entries and finds the base, the
// APK whose own manifest names no split (the container's description is only asked which to try
// first). Only the APKs tried are read, each into memory, or for one the container stores, where
// it lies, and no more than MaxInnerApkBytes of them in all; nothing is written to disk. The APKs
// tried inflate from the container's own budget, so a bundle inflates no more than its
// container may.
BundleOpening OpenBundleBase(const SafeFile &container, BaseCopy copy = BaseCopy::Now);

// The inner APKs in the order to try them as the base: the one the description names, those
// named as bases usually are, the rest, and bundletool's standalone APKs last.
QList<QByteArray> BaseCandidates(const BundleLayout &layout, const ContainerMetadata &metadata);
