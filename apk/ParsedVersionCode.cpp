#include "ParsedVersionCode.h"

#include "formats/ApkManifest.h"
#include "formats/ResourceResolver.h"

std::optional<qint64> ParsedVersionCode(const ApkManifest &manifest, const ZipArchive &apk)
{
    if (manifest.versionCodeUnreadable)
        return std::nullopt;
    // The table is read only when a value needs it.
    const std::unique_ptr<const ResourceTable> table =
        manifest.versionCodeResource || manifest.versionCodeMajorResource ? OpenResourceTable(apk)
                                                                          : nullptr;
    // A value absent is 0.
    const auto read = [&table](const QString &written, quint32 resource) {
        if (!resource)
            return std::optional<qint32>(written.toInt());
        return table ? ResourceResolver(*table).integer(resource) : std::nullopt;
    };
    const std::optional<qint32> code = read(manifest.versionCode, manifest.versionCodeResource);
    const std::optional<qint32> major =
        read(manifest.versionCodeMajor, manifest.versionCodeMajorResource);
    if (!code || !major)
        return std::nullopt;
    return ComposeVersionCode(*major, *code);
}
