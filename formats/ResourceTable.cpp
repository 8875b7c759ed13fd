#include "ResourceTable.h"

#include "ArscReader.h"
#include "Formats.h"
#include "archive/ZipArchive.h"

std::unique_ptr<const ResourceTable> OpenResourceTable(const ZipArchive &apk)
{
    const std::optional<QByteArray> bytes = apk.readEntry("resources.arsc", MaxTableBytes);
    if (!bytes || bytes->isEmpty())
        return nullptr;
    // libandroidfw loads some of these tables all the same (compact entries behind 32-bit
    // offsets), and would then take a compact entry's fields for a full entry's.
    std::unique_ptr<ArscReader> own = ArscReader::Read(*bytes);
    if (own && own->usesNewerLayout())
        return own;
    FormatReading<std::unique_ptr<const ResourceTable>> loaded = LoadLibandroidfwTable(*bytes);
    return loaded.value ? std::move(*loaded.value) : nullptr;
}
