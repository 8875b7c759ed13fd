#pragma once

#include "AdaptiveIconXml.h"
#include "ApkManifest.h"
#include "ApkSetToc.h"
#include "ResourceTable.h"
#include "XmlDocument.h"
#include "base/Failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <memory>
#include <optional>

// Everything Pelmora reads with libandroidfw, libprotobuf-lite, libelf or libwebp, and the only
// way to it: those libraries live in the module libpelmora_formats.so, loaded from the program's
// directory on the first reading (and from no other place), so that the programs neither link nor
// load them until a reading needs them. Bytes go in and plain values come out; the one object
// that comes out, a ResourceTable, runs the module's code, which stays loaded until the end.

// What one reading gives: the value read, or why the module is not available.
template <typename T> struct FormatReading
{
    std::optional<T> value; // nothing when the bytes do not read or the module is not available
    Failure unavailable;    // no failure when the module loaded
};

// Loads the module now, as a reading would, but says nothing yet: for a program that can load
// it while it waits for something else.
void PrepareFormatReaders();

// Why the module cannot be loaded (missing, one of its libraries missing, or built for another
// version of the readers); no failure when it loads. Like a reading that goes without it, says so
// once through the program's complaint.
Failure FormatReadersUnavailable();

// How a program says, once, that the module cannot be loaded, when a reading first goes without
// it; set before the first reading. The words are the program's: formats/ has none. Without
// one, nothing is said.
using FormatModuleComplaint = void (*)(const Failure &problem);
void SetFormatModuleComplaint(FormatModuleComplaint say);

// A binary AndroidManifest.xml (libandroidfw's ResXMLTree); nothing when it is not a
// well-formed binary XML document whose root is <manifest>.
FormatReading<ApkManifest> ReadBinaryManifest(QByteArrayView xml);
// A binary adaptive-icon drawable; nothing when it is no <adaptive-icon>.
FormatReading<AdaptiveIconXml> ReadBinaryAdaptiveIcon(QByteArrayView xml);
// A resource table through libandroidfw's LoadedArsc; nothing when it does not load.
FormatReading<std::unique_ptr<const ResourceTable>> LoadLibandroidfwTable(const QByteArray &table);
// bundletool's toc.pb through libprotobuf-lite; the caller bounds it first.
FormatReading<ApkSetToc> ReadApkSetToc(const QByteArray &bytes);
// The smallest PT_LOAD alignment of an ELF file's first bytes, through libelf.
FormatReading<quint64> ReadSmallestLoadAlignment(const QByteArray &start);
// `webp` decoded by libwebp straight into an image of `size`, scaled as it is decoded; nothing
// when it does not decode. A missing module is not said: the caller has Qt's reader to fall back
// on.
FormatReading<QImage> ReadScaledWebp(const QByteArray &webp, QSize size);
// Any binary XML document (a manifest, a drawable) whole, through libandroidfw's ResXMLTree;
// nothing when it is not well formed or holds more than MaxXmlNodes elements and attributes.
FormatReading<XmlDocument> ReadBinaryXmlDocument(QByteArrayView xml);
