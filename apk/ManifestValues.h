#pragma once

#include "formats/ResourceResolver.h"
#include "formats/XmlDocument.h"

#include <QHash>
#include <functional>
#include <memory>
#include <optional>

// Android's attribute resource ids (android.R.attr) that say what a package exposes and
// declares.
namespace AndroidAttribute {
constexpr quint32 Label = 0x01010001;
constexpr quint32 Name = 0x01010003;
constexpr quint32 Permission = 0x01010006;
constexpr quint32 ReadPermission = 0x01010007;
constexpr quint32 WritePermission = 0x01010008;
constexpr quint32 ProtectionLevel = 0x01010009;
constexpr quint32 PermissionGroup = 0x0101000a;
constexpr quint32 SharedUserId = 0x0101000b;
constexpr quint32 HasCode = 0x0101000c;
constexpr quint32 Enabled = 0x0101000e;
constexpr quint32 Debuggable = 0x0101000f;
constexpr quint32 Exported = 0x01010010;
constexpr quint32 Authorities = 0x01010018;
constexpr quint32 Description = 0x01010020;
constexpr quint32 Scheme = 0x01010027;
constexpr quint32 Host = 0x01010028;
constexpr quint32 Port = 0x01010029;
constexpr quint32 Path = 0x0101002a;
constexpr quint32 PathPrefix = 0x0101002b;
constexpr quint32 PathPattern = 0x0101002c;
constexpr quint32 TargetActivity = 0x01010202;
constexpr quint32 MinSdkVersion = 0x0101020c;
constexpr quint32 TargetSdkVersion = 0x01010270;
constexpr quint32 TestOnly = 0x01010272;
constexpr quint32 AllowBackup = 0x01010280;
constexpr quint32 ExtractNativeLibs = 0x010104ea;
constexpr quint32 UsesCleartextTraffic = 0x010104ec;
constexpr quint32 NetworkSecurityConfig = 0x01010527;
} // namespace AndroidAttribute

// Android's level for a preview's codename (Build.VERSION_CODES.CUR_DEVELOPMENT).
constexpr int PreviewSdkLevel = 10000;

// The levels a package's first <uses-sdk> gives, as Android's package parser reads them: the
// minimum 1 when absent, the target the minimum when absent, a codename the preview's level.
// Nothing for one that refers to a resource that does not resolve to a single integer.
struct SdkLevels
{
    std::optional<int> min;
    std::optional<int> target;
};

// Reads a manifest's values as Android's package parser does, following a reference through the
// package's resource table. The table is opened on the first reference met, once; every value
// of the document shares one resolver and its caps, and a resource is looked up once, so that a
// hostile manifest cannot multiply the work by repeating a reference.
class ManifestValues
{
public:
    using TableOpener = std::function<std::unique_ptr<const ResourceTable>()>;
    explicit ManifestValues(TableOpener openTable) : opener(std::move(openTable)) {}

    // A boolean attribute (TypedArray.getBoolean): `fallback` when absent; nothing when it
    // refers to a resource that does not resolve to one value.
    std::optional<bool> boolean(const XmlElement &element, quint32 id, bool fallback);
    // An integer attribute as a level: `fallback` when absent; a codename the preview's level.
    std::optional<int> level(const XmlElement &element, quint32 id, std::optional<int> fallback);
    // A string attribute Android takes only as written (getNonConfigurationString); empty when
    // absent or a reference.
    static QString literal(const XmlElement &element, quint32 id);
    // The file a resource names ("res/xml/network_security_config.xml"), when it resolves to one
    // path; empty otherwise.
    QString resourcePath(quint32 id);

private:
    std::optional<qint32> integer(quint32 id);
    ResourceResolver *openedResolver();

    TableOpener opener;
    bool opened = false;
    std::unique_ptr<const ResourceTable> table;
    std::optional<ResourceResolver> resolver;
    QHash<quint32, std::optional<qint32>> integers;
};

// The levels of `manifest`'s first <uses-sdk>.
SdkLevels DeclaredSdkLevels(const XmlDocument &manifest, ManifestValues &values);
