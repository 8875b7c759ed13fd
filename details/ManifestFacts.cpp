#include "ManifestFacts.h"

#include "ResourceResolver.h"
#include "bundle/ApkManifest.h"

#include <QSet>
#include <algorithm>

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
    const bool permissionsWanted = facts.permissionNames.isEmpty();
    const bool permissionByResource = std::any_of(
        manifest.permissions.cbegin(), manifest.permissions.cend(),
        [](const ApkManifest::Permission &permission) { return permission.nameResource != 0; });
    // The table is read only when a missing fact needs it.
    const std::unique_ptr<const ResourceTable> table =
        (facts.versionName.isEmpty() && manifest.versionNameResource) ||
                (facts.label.isEmpty() && manifest.labelResource) ||
                (permissionsWanted && permissionByResource)
            ? OpenResourceTable(apk)
            : nullptr;
    // The version name, the label and the permissions are a reading each, with its own caps.
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
    if (!permissionsWanted)
        return;
    QSet<QString> seen;
    std::optional<ResourceResolver> permissionReading = reading();
    for (const ApkManifest::Permission &permission : manifest.permissions) {
        QString name = TextOf(permissionReading, permission.name, permission.nameResource).text;
        // A name the table does not give is shown as the reference, not left out.
        if (name.isEmpty() && permission.nameResource)
            name = QStringLiteral("@0x%1").arg(permission.nameResource, 8, 16, QLatin1Char('0'));
        if (name.isEmpty() || seen.contains(name))
            continue;
        seen.insert(name);
        facts.permissionNames.append(name);
        facts.permissions.append(PermissionText(name, permission.maxSdk));
    }
}
