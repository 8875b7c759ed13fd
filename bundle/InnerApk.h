#pragma once

#include "base/MemoryFile.h"
#include "formats/ApkManifest.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

class ByteSink;
class SafeFile;
class ZipArchive;
struct InflateBudget;

// Inner APKs are read whole into memory; a base is far smaller than this (stores cap a base
// near 200 MB), and a larger entry is refused before anything is inflated.
constexpr qint64 MaxInnerApkBytes = qint64(2) << 30;

// Copies entry `name` of `container`, whose file is `file`, into a sealed anonymous memory file,
// piece by piece as its data is read from the file; libzip is not called, so two threads may copy
// out of one container at once. Its size is drawn from `drawFrom`, or the container's budget when
// null. Nothing when the entry is missing, declares more than MaxInnerApkBytes, is past the
// budget, cannot be read whole (corrupt data, a checksum that does not match) or the memory is
// refused.
std::optional<MemoryFile> ExtractInnerApk(const SafeFile &file, const ZipArchive &container,
                                          const QByteArray &name,
                                          InflateBudget *drawFrom = nullptr);

// The same for an entry the container stores uncompressed, as APKs in bundles usually are: the
// kernel copies its bytes straight out of `file`, the container's own file, without reading them
// here, so the tool can start on it at once. Its checksum is not compared; the tool judges the
// bytes as it judges any package's. Nothing when the entry is not stored.
std::optional<MemoryFile> CopyStoredInnerApk(const SafeFile &file, const ZipArchive &container,
                                             const QByteArray &name);

// Checks entry `name`, which `container` stores as it is, against `bytes`, its stretch of the
// container's own file read as a file of its own: its declared size is drawn from `drawFrom`
// first, as copying it out would draw it, then `prepare` runs and names what else is to be fed
// the entry's bytes, and one read of them feeds its checksum on this thread and those sinks on
// another, so an APK read in place is read once to be checked and judged. False, without
// running `prepare`, when the entry is missing or past the budget; otherwise whether exactly the
// declared bytes came with the declared checksum.
bool CheckStoredEntry(const ZipArchive &container, const QByteArray &name, const SafeFile &bytes,
                      InflateBudget &drawFrom, const std::function<QList<ByteSink *>()> &prepare);

// The manifest of the APK held in `apk`, inflated from `budget`, the bundle's; nothing when it is
// not a ZIP with a readable one.
std::optional<ApkManifest> ReadInnerManifest(const MemoryFile &apk,
                                             const std::shared_ptr<InflateBudget> &budget);
