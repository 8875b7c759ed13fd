#pragma once

#include "AdaptiveIconXml.h"
#include "ApkManifest.h"
#include "ApkSetToc.h"
#include "ResourceTable.h"
#include "XmlDocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <memory>
#include <optional>

// The table of the formats module's readers, what its one exported function hands the loader
// (FormatModule.h); known to formats/ alone, which offers the readings as plain functions
// (Formats.h).
struct FormatReaders
{
    // Raised whenever this struct or a type it hands over changes; the loader refuses a module
    // built with another.
    static constexpr int CurrentVersion = 5;
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
    // A WebP image decoded by libwebp scaled to a size; a null image when it does not decode.
    QImage (*decodeScaledWebp)(const QByteArray &webp, QSize size) = nullptr;
    // Any binary XML document, whole; nothing when it is not well formed or too large.
    std::optional<XmlDocument> (*readXmlDocument)(QByteArrayView xml) = nullptr;
};

// The module's one exported function.
extern "C" const FormatReaders *PelmoraFormatReaders();
