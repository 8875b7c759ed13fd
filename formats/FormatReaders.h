#pragma once

#include "bundle/ApkManifest.h"
#include "bundle/ApkSetToc.h"
#include "details/AdaptiveIconXml.h"
#include "details/ResourceTable.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>

// Everything Pelmora reads with libandroidfw, libprotobuf-lite or libelf, which live in the
// module libpelmora_formats.so so that the programs neither link nor load those libraries until
// a reading needs them (FormatModule.h). Bytes go in and plain values come out; the one object
// that comes out, a ResourceTable, runs the module's code, which stays loaded until the end.
struct FormatReaders
{
    // Raised whenever this struct or a type it hands over changes; the loader refuses a module
    // built with another.
    static constexpr int CurrentVersion = 2;
    int version = CurrentVersion;

    // A binary AndroidManifest.xml (libandroidfw's ResXMLTree); nothing when it is not a
    // well-formed binary XML document whose root is <manifest>.
    std::optional<ApkManifest> (*readManifest)(QByteArrayView xml) = nullptr;
    // A binary adaptive-icon drawable; nothing when it is no <adaptive-icon>.
    std::optional<AdaptiveIconXml> (*readAdaptiveIcon)(QByteArrayView xml) = nullptr;
    // A resource table through libandroidfw's LoadedArsc; nothing when it does not load.
    std::unique_ptr<const ResourceTable> (*loadTable)(const QByteArray &table) = nullptr;
    // bundletool's toc.pb through libprotobuf-lite; the caller bounds it first.
    std::optional<ApkSetToc> (*parseApkSetToc)(const QByteArray &bytes) = nullptr;
    // The smallest PT_LOAD alignment of an ELF file's first bytes, through libelf.
    std::optional<quint64> (*smallestLoadAlignment)(QByteArray start) = nullptr;
};

// The module's one exported function.
extern "C" const FormatReaders *PelmoraFormatReaders();
