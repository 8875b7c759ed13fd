#include "ApkManifestXml.h"

#include "AndroidXml.h"

#include <QStringList>
#include <androidfw/ResourceTypes.h>

namespace {

// Android's attribute resource ids (android.R.attr).
constexpr quint32 IconAttribute = 0x01010002;
constexpr quint32 LabelAttribute = 0x01010001;
constexpr quint32 NameAttribute = 0x01010003;
constexpr quint32 SharedUserIdAttribute = 0x0101000b;
constexpr quint32 ValueAttribute = 0x01010024;
constexpr quint32 MinSdkAttribute = 0x0101020c;
constexpr quint32 MaxSdkAttribute = 0x01010271;
constexpr quint32 VersionCodeAttribute = 0x0101021b;
constexpr quint32 VersionCodeMajorAttribute = 0x01010576;
constexpr quint32 VersionNameAttribute = 0x0101021c;
constexpr quint32 TargetSdkAttribute = 0x01010270;
constexpr quint32 TargetSandboxAttribute = 0x0101054c;

// The API level a preview names, one before the release it became, as apksig places it: by its
// first letter, A to Z; nothing for anything else.
std::optional<int> LevelOfCodename(const QString &codename)
{
    static const QList<std::pair<char16_t, int>> Known = {
        {u'C', 2},  {u'D', 3},  {u'E', 4},  {u'F', 7},  {u'G', 8},  {u'H', 10}, {u'I', 13},
        {u'J', 15}, {u'K', 18}, {u'L', 20}, {u'M', 22}, {u'N', 23}, {u'O', 25}};
    if (codename == QLatin1String("Baklava"))
        return 34;
    if (codename == QLatin1String("CinnamonBun"))
        return 35;
    if (codename == QLatin1String("CANARY"))
        return 9999;
    const char16_t first = codename.isEmpty() ? u' ' : codename.front().unicode();
    if (first < u'A' || first > u'Z')
        return std::nullopt;
    int level = 1;
    for (const auto &[letter, known] : Known)
        if (letter <= first)
            level = known + (first - letter);
    return level;
}

// A minSdkVersion as apksig reads it: a decimal or hex number, or a codename.
std::optional<int> MinSdkLevel(const android::ResXMLParser &xml, qsizetype index)
{
    const std::optional<android::Res_value> value = AttributeValue(xml, index);
    if (!value)
        return 1;
    switch (value->dataType) {
    case android::Res_value::TYPE_INT_DEC:
    case android::Res_value::TYPE_INT_HEX:
        return qint32(value->data);
    case android::Res_value::TYPE_STRING:
        return LevelOfCodename(AttributeText(xml, index));
    default:
        return std::nullopt;
    }
}

// The resource an attribute refers to; 0 when it is absent or holds a value of its own.
quint32 ReferenceOf(const android::ResXMLParser &xml, qsizetype index)
{
    const std::optional<android::Res_value> value = AttributeValue(xml, index);
    return value && value->dataType == android::Res_value::TYPE_REFERENCE ? value->data : 0;
}

// An integer attribute as Android's package parser reads it (TypedArray.getInteger), by its
// resource id: into `number` in decimal, or `resource` when it refers to one. False for a value
// of any other kind, which the parser refuses.
bool ReadInteger(const android::ResXMLParser &xml, quint32 resourceId, QString &number,
                 quint32 &resource)
{
    const std::optional<android::Res_value> value =
        AttributeValue(xml, AndroidAttribute(xml, resourceId));
    if (!value || value->dataType == android::Res_value::TYPE_NULL)
        return true;
    if (IsInteger(*value))
        number = QString::number(qint32(value->data));
    else if (value->dataType == android::Res_value::TYPE_REFERENCE)
        resource = value->data;
    else
        return false;
    return true;
}

// An integer attribute as Android reads it before parsing the package: by its name, an integer as
// written and anything else 0.
qint32 IntegerByName(const android::ResXMLParser &xml, const char *name)
{
    const std::optional<android::Res_value> value =
        AttributeValue(xml, NamedAndroidAttribute(xml, name));
    return value && IsInteger(*value) ? qint32(value->data) : 0;
}

void ReadManifestElement(const android::ResXMLParser &xml, ApkManifest &manifest)
{
    manifest.packageName = AttributeText(xml, PlainAttribute(xml, "package"));
    manifest.split = AttributeText(xml, PlainAttribute(xml, "split"));
    const bool codeRead =
        ReadInteger(xml, VersionCodeAttribute, manifest.versionCode, manifest.versionCodeResource);
    const bool majorRead = ReadInteger(xml, VersionCodeMajorAttribute, manifest.versionCodeMajor,
                                       manifest.versionCodeMajorResource);
    manifest.versionCodeUnreadable = !codeRead || !majorRead;
    manifest.updateCheckVersionCode = ComposeVersionCode(IntegerByName(xml, "versionCodeMajor"),
                                                         IntegerByName(xml, "versionCode"));
    const qsizetype versionName = AndroidAttribute(xml, VersionNameAttribute);
    manifest.versionName = AttributeText(xml, versionName);
    manifest.versionNameResource = ReferenceOf(xml, versionName);
    const std::optional<android::Res_value> sandbox =
        AttributeValue(xml, AndroidAttribute(xml, TargetSandboxAttribute));
    if (sandbox && sandbox->dataType != android::Res_value::TYPE_NULL)
        manifest.targetSandboxVersion =
            IsInteger(*sandbox) ? std::optional<int>(qint32(sandbox->data)) : std::nullopt;
    manifest.sharedUserId = AttributeText(xml, AndroidAttribute(xml, SharedUserIdAttribute));
    // Only the reading before the package is parsed looks at these two, and it finds them by name.
    manifest.isFeatureSplit =
        AttributeText(xml, NamedAndroidAttribute(xml, "isFeatureSplit")) == QLatin1String("true");
    const qsizetype required = NamedAndroidAttribute(xml, "requiredSplitTypes");
    manifest.requiresSplits = required >= 0 && !AttributeText(xml, required).isEmpty();
}

} // namespace

std::optional<ApkManifest> ParseApkManifestXml(QByteArrayView xml)
{
    android::ResXMLTree tree;
    if (xml.isEmpty() || tree.setTo(xml.data(), size_t(xml.size())) != android::NO_ERROR)
        return std::nullopt;
    ApkManifest manifest;
    bool rootSeen = false;
    bool usesSdkSeen = false;
    QStringList open; // the elements around the current event, outermost first
    for (;;) {
        const android::ResXMLParser::event_code_t event = tree.next();
        if (event == android::ResXMLParser::BAD_DOCUMENT)
            return std::nullopt;
        if (event == android::ResXMLParser::END_DOCUMENT)
            break;
        if (event == android::ResXMLParser::END_TAG && !open.isEmpty())
            open.removeLast();
        if (event != android::ResXMLParser::START_TAG)
            continue;
        const QString name = ElementName(tree);
        const QString parent = open.isEmpty() ? QString() : open.last();
        open.append(name);
        if (open.size() == 2 && name == QLatin1String("uses-sdk")) {
            const qsizetype min = AndroidAttribute(tree, MinSdkAttribute);
            const qsizetype target = AndroidAttribute(tree, TargetSdkAttribute);
            // Each <uses-sdk> must be met, so the highest counts.
            const std::optional<int> level = MinSdkLevel(tree, min);
            manifest.minSdkLevel = manifest.minSdkLevel && level
                                       ? std::optional<int>(qMax(*manifest.minSdkLevel, *level))
                                       : std::nullopt;
            if (!usesSdkSeen) {
                usesSdkSeen = true;
                manifest.minSdk = AttributeText(tree, min);
                manifest.targetSdk = AttributeText(tree, target);
                const std::optional<android::Res_value> targetValue = AttributeValue(tree, target);
                manifest.targetSdkUnknown =
                    targetValue && targetValue->dataType != android::Res_value::TYPE_STRING &&
                    targetValue->dataType != android::Res_value::TYPE_INT_DEC &&
                    targetValue->dataType != android::Res_value::TYPE_INT_HEX;
            }
        } else if (open.size() == 1) {
            if (name != QLatin1String("manifest"))
                return std::nullopt;
            rootSeen = true;
            ReadManifestElement(tree, manifest);
        } else if (open.size() == 2 && name == QLatin1String("application")) {
            manifest.iconResource = ReferenceOf(tree, AndroidAttribute(tree, IconAttribute));
            const qsizetype label = AndroidAttribute(tree, LabelAttribute);
            manifest.label = AttributeText(tree, label);
            manifest.labelResource = ReferenceOf(tree, label);
        } else if (open.size() == 2 && (name == QLatin1String("uses-permission") ||
                                        name == QLatin1String("uses-permission-sdk-23"))) {
            // Android takes a permission's name only as written, never one that refers to a
            // resource.
            const qsizetype index = AndroidAttribute(tree, NameAttribute);
            const std::optional<android::Res_value> value = AttributeValue(tree, index);
            if (value && value->dataType == android::Res_value::TYPE_STRING)
                manifest.permissions.append(
                    {AttributeText(tree, index),
                     AttributeText(tree, AndroidAttribute(tree, MaxSdkAttribute))});
        } else if (open.size() == 3 && parent == QLatin1String("application") &&
                   name == QLatin1String("meta-data") &&
                   AttributeText(tree, AndroidAttribute(tree, NameAttribute)) ==
                       QLatin1String("com.android.vending.splits.required") &&
                   AttributeText(tree, AndroidAttribute(tree, ValueAttribute)) ==
                       QLatin1String("true")) {
            manifest.requiresSplits = true;
        }
    }
    return rootSeen ? std::optional<ApkManifest>(manifest) : std::nullopt;
}
