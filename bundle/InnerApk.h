#pragma once

#include "ApkManifest.h"
#include "MemoryFile.h"

#include <QByteArray>
#include <optional>

class ZipArchive;

// Inner APKs are read whole into memory; a base is far smaller than this (stores cap a base
// near 200 MB), and a larger entry is refused before anything is inflated.
constexpr qint64 MaxInnerApkBytes = qint64(2) << 30;

// Copies entry `name` of `container` into a sealed anonymous memory file, piece by piece.
// Nothing when the entry is missing, declares more than MaxInnerApkBytes, cannot be read whole
// (corrupt data, a checksum that does not match) or the memory is refused.
std::optional<MemoryFile> ExtractInnerApk(const ZipArchive &container, const QByteArray &name);

// The manifest of the APK held in `apk`; nothing when it is not a ZIP with a readable one.
std::optional<ApkManifest> ReadInnerManifest(const MemoryFile &apk);
