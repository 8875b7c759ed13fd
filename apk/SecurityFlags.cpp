#include "SecurityFlags.h"

namespace {

// Android cares that the attribute is there at all; an empty reference still names a config.
QString ConfigName(const XmlAttribute &attribute, ManifestValues &values)
{
    if (attribute.type != ValueType::Reference)
        return attribute.text;
    const QString path = values.resourcePath(attribute.data);
    return path.isEmpty() ? QStringLiteral("@0x%1").arg(attribute.data, 8, 16, QLatin1Char('0'))
                          : path;
}

} // namespace

SecurityFlags ReadSecurityFlags(const XmlDocument &manifest, const SdkLevels &sdk,
                                ManifestValues &values)
{
    SecurityFlags flags;
    // Before target SDK 28 cleartext is allowed unless the app says otherwise.
    flags.usesCleartextTraffic = sdk.target ? std::optional<bool>(*sdk.target < 28) : std::nullopt;
    const auto application = std::find_if(
        manifest.elements.cbegin(), manifest.elements.cend(), [](const XmlElement &element) {
            return element.depth == 1 && element.name == QLatin1String("application");
        });
    if (!manifest.elements.isEmpty())
        flags.sharedUserId =
            ManifestValues::literal(manifest.elements.front(), AndroidAttribute::SharedUserId);
    if (application == manifest.elements.cend())
        return flags;
    flags.debuggable = values.boolean(*application, AndroidAttribute::Debuggable, false);
    flags.testOnly = values.boolean(*application, AndroidAttribute::TestOnly, false);
    flags.allowBackup = values.boolean(*application, AndroidAttribute::AllowBackup, true);
    flags.extractNativeLibs =
        values.boolean(*application, AndroidAttribute::ExtractNativeLibs, true);
    flags.hasCode = values.boolean(*application, AndroidAttribute::HasCode, true);
    if (const XmlAttribute *config =
            application->attribute(AndroidAttribute::NetworkSecurityConfig)) {
        flags.hasNetworkSecurityConfig = true;
        flags.networkSecurityConfig = ConfigName(*config, values);
        flags.cleartextDecidedBy = CleartextDecider::NetworkSecurityConfig;
        flags.usesCleartextTraffic = std::nullopt;
    } else if (application->attribute(AndroidAttribute::UsesCleartextTraffic)) {
        flags.cleartextDecidedBy = CleartextDecider::Manifest;
        flags.usesCleartextTraffic =
            values.boolean(*application, AndroidAttribute::UsesCleartextTraffic,
                           flags.usesCleartextTraffic.value_or(false));
    }
    return flags;
}
