#include "ManifestFacts.h"

#include "formats/ApkManifest.h"
#include "formats/ResourceResolver.h"

#include <QSet>

namespace {

void Fill(QString &fact, const QString &value)
{
    if (fact.isEmpty())
        fact = value;
}

// The manifest's text as written, else the text of the resource it names.
ResourceText TextOf(std::optional<ResourceResolver> &reading, const QString &literal,
                    quint32 resource)
{
    if (!literal.isEmpty() || !resource || !reading)
        return {literal, {}};
    return reading->text(resource);
}

} // namespace

void CompleteFromManifest(PackageFacts &facts, const ApkManifest &manifest, const ZipArchive &apk)
{
    Fill(facts.packageName, manifest.packageName);
    Fill(facts.versionCode, manifest.versionCode);
    Fill(facts.minSdk, manifest.minSdk);
    Fill(facts.targetSdk, manifest.targetSdk);
    // The table is read only when a missing fact needs it.
    const std::unique_ptr<const ResourceTable> table =
        (facts.versionName.isEmpty() && manifest.versionNameResource) ||
                (facts.label.isEmpty() && manifest.labelResource)
            ? OpenResourceTable(apk)
            : nullptr;
    // The version name and the label are a reading each, with its own caps.
    const auto reading = [&table] {
        return table ? std::optional<ResourceResolver>(std::in_place, *table) : std::nullopt;
    };
    std::optional<ResourceResolver> versionReading = reading();
    Fill(facts.versionName,
         TextOf(versionReading, manifest.versionName, manifest.versionNameResource).text);
    if (facts.label.isEmpty()) {
        std::optional<ResourceResolver> labelReading = reading();
        const ResourceText label = TextOf(labelReading, manifest.label, manifest.labelResource);
        facts.defaultLabel = label.text;
        facts.label = ShownLabel(label.text, label.chinese);
    }
    // The tool stops at the first attribute it cannot resolve, so it may have printed only some
    // of the permissions, or none.
    QSet<QString> named(facts.permissionNames.cbegin(), facts.permissionNames.cend());
    for (const ApkManifest::Permission &permission : manifest.permissions)
        if (!named.contains(permission.name)) {
            named.insert(permission.name);
            facts.permissionNames.append(permission.name);
            facts.permissions.append(PermissionText(permission.name, permission.maxSdk));
        }
}
