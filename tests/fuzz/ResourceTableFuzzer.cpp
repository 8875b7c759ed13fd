// libFuzzer target: any bytes taken for a resource table must be read by Pelmora's own reader,
// or refused, without a crash, a hang or a huge allocation. Resources looked up in it with their
// aliases followed stay within the resolver's caps, and strings and names within the length
// asked for.
// The same bytes, taken for the other format of Android's resources, a binary manifest, are read
// by libandroidfw as the formats module reads them, its attributes by resource id, and read
// whole as a tree whose every element sits under one that came before it, and written out as
// manifest text that parses as XML.
#include "details/ManifestText.h"
#include "formats/ArscReader.h"
#include "formats/ResourceResolver.h"
#include "formats/module/ApkManifestXml.h"
#include "formats/module/XmlDocumentReader.h"

#include <QXmlStreamReader>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr qsizetype ShortText = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray table =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<ApkManifest> manifest = ParseApkManifestXml(table)) {
        // A version code is an integer as written or a resource it refers to, never both.
        if (!manifest->versionCode.isEmpty()) {
            bool number = false;
            manifest->versionCode.toInt(&number);
            Require(number && !manifest->versionCodeResource);
        }
        Require(!manifest->minSdkLevel || *manifest->minSdkLevel >= 1);
    }
    if (const std::optional<XmlDocument> document = ReadXmlDocumentWithLibandroidfw(table)) {
        qsizetype nodes = 0;
        for (qsizetype i = 0; i < document->elements.size(); ++i) {
            const XmlElement &element = document->elements[i];
            nodes += 1 + element.attributes.size();
            Require(element.parent < i);
            Require(element.depth ==
                    (element.parent < 0 ? 0 : document->elements[element.parent].depth + 1));
        }
        Require(nodes <= MaxXmlNodes);
        // Whatever the document holds, its text is XML that a reader takes whole.
        QXmlStreamReader text(ManifestText(*document, nullptr));
        while (!text.atEnd())
            text.readNext();
        Require(!text.hasError());
    }
    const std::unique_ptr<ArscReader> reader = ArscReader::Read(table);
    if (!reader)
        return 0;
    // What a manifest names: the first entries of the first types of an app's package.
    for (quint32 type = 1; type <= 8; ++type) {
        for (quint32 entry = 0; entry < 4; ++entry) {
            const quint32 id = 0x7f000000 | type << 16 | entry;
            // At most one value for each configuration.
            Require(reader->values(id).size() <= reader->configurationCount(id));
            ResourceResolver resolver(*reader);
            const QList<TableValue> values = resolver.resolve(id);
            Require(values.size() <= ResourceResolver::MaxExamined);
            for (const TableValue &value : values) {
                // An alias beyond the depth is dropped, never handed on.
                Require(value.type != ValueType::Reference);
                if (const std::optional<QString> text = reader->string(value.data, ShortText))
                    Require(text->size() <= ShortText);
            }
            // A name is a type and a key, within the length asked for, only for an entry that
            // some configuration holds.
            if (const std::optional<QString> name = reader->name(id, ShortText)) {
                Require(name->size() <= ShortText && name->indexOf(QLatin1Char('/')) > 0);
                Require(reader->configurationCount(id) > 0);
            }
            ResourceResolver(*reader).text(id);
            ResourceResolver(*reader).integer(id);
        }
    }
    return 0;
}
