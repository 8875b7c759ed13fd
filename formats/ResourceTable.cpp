#include "ResourceTable.h"

#include "ArscReader.h"
#include "Formats.h"
#include "archive/ZipArchive.h"

std::unique_ptr<const ResourceTable> OpenResourceTable(const ZipArchive &apk)
{
    const std::optional<QByteArray> bytes = apk.readEntry("resources.arsc", MaxTableBytes);
    return bytes ? ReadResourceTable(*bytes) : nullptr;
}

std::unique_ptr<const ResourceTable> ReadResourceTable(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return nullptr;
    // libandroidfw loads some of these tables all the same (compact entries behind 32-bit
    // offsets), and would then take a compact entry's fields for a full entry's. It refuses a
    // table that does not start on a 4-byte boundary, as one read where it lies in a package
    // may not; Pelmora's reader takes it as it is.
    std::unique_ptr<ArscReader> own = ArscReader::Read(bytes);
    const bool aligned = reinterpret_cast<quintptr>(bytes.constData()) % 4 == 0;
    if (own && (own->usesNewerLayout() || !aligned))
        return own;
    FormatReading<std::unique_ptr<const ResourceTable>> loaded = LoadLibandroidfwTable(bytes);
    return loaded.value ? std::move(*loaded.value) : nullptr;
}
