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
constexpr quint32 IsFeatureSplitAttribute = 0x0101055b;

// The API level a preview names, one before the release it became, by its first letter; 1 for
// what no level can be told from.
int LevelOfCodename(const QString &codename)
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
    if (first < u'C' || first > u'Z')
        return 1;
    int level = 1;
    for (const auto &[letter, known] : Known)
        if (letter <= first)
            level = known + (first - letter);
    return level;
}

// The resource an attribute refers to; 0 when it is absent or holds a value of its own.
quint32 ReferenceOf(const android::ResXMLParser &xml, qsizetype index)
{
    const std::optional<android::Res_value> value = AttributeValue(xml, index);
    return value && value->dataType == android::Res_value::TYPE_REFERENCE ? value->data : 0;
}

void ReadManifestElement(const android::ResXMLParser &xml, ApkManifest &manifest)
{
    manifest.packageName = AttributeText(xml, PlainAttribute(xml, "package"));
    manifest.split = AttributeText(xml, PlainAttribute(xml, "split"));
    manifest.versionCode =
        AttributeText(xml, AndroidAttribute(xml, VersionCodeAttribute, "versionCode"));
    manifest.versionCodeMajor =
        AttributeText(xml, AndroidAttribute(xml, VersionCodeMajorAttribute, "versionCodeMajor"));
    const qsizetype versionName = AndroidAttribute(xml, VersionNameAttribute, "versionName");
    manifest.versionName = AttributeText(xml, versionName);
    manifest.versionNameResource = ReferenceOf(xml, versionName);
    const QString sandbox =
        AttributeText(xml, AndroidAttribute(xml, TargetSandboxAttribute, "targetSandboxVersion"));
    manifest.targetSandboxVersion = sandbox.isEmpty() ? 1 : sandbox.toInt();
    manifest.sharedUserId =
        AttributeText(xml, AndroidAttribute(xml, SharedUserIdAttribute, "sharedUserId"));
    manifest.isFeatureSplit =
        AttributeText(xml, AndroidAttribute(xml, IsFeatureSplitAttribute, "isFeatureSplit")) ==
        QLatin1String("true");
    // Newer than any framework the tools here know, so found by its name alone.
    const qsizetype required = AndroidAttribute(xml, 0, "requiredSplitTypes");
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
            const qsizetype min = AndroidAttribute(tree, MinSdkAttribute, "minSdkVersion");
            const std::optional<android::Res_value> value = AttributeValue(tree, min);
            const QString written = AttributeText(tree, min);
            // Each <uses-sdk> must be met, so the highest counts.
            if (value && value->dataType == android::Res_value::TYPE_STRING)
                manifest.minSdkLevel = qMax(manifest.minSdkLevel, LevelOfCodename(written));
            else if (!written.isEmpty())
                manifest.minSdkLevel = qMax(manifest.minSdkLevel, written.toInt());
            if (!usesSdkSeen) {
                usesSdkSeen = true;
                manifest.minSdk = written;
                manifest.targetSdk = AttributeText(
                    tree, AndroidAttribute(tree, TargetSdkAttribute, "targetSdkVersion"));
            }
        } else if (open.size() == 1) {
            if (name != QLatin1String("manifest"))
                return std::nullopt;
            rootSeen = true;
            ReadManifestElement(tree, manifest);
        } else if (open.size() == 2 && name == QLatin1String("application")) {
            manifest.iconResource =
                ReferenceOf(tree, AndroidAttribute(tree, IconAttribute, "icon"));
            const qsizetype label = AndroidAttribute(tree, LabelAttribute, "label");
            manifest.label = AttributeText(tree, label);
            manifest.labelResource = ReferenceOf(tree, label);
        } else if (open.size() == 2 && (name == QLatin1String("uses-permission") ||
                                        name == QLatin1String("uses-permission-sdk-23"))) {
            // Android takes a permission's name only as written, never one that refers to a
            // resource.
            const qsizetype index = AndroidAttribute(tree, NameAttribute, "name");
            const std::optional<android::Res_value> value = AttributeValue(tree, index);
            if (value && value->dataType == android::Res_value::TYPE_STRING)
                manifest.permissions.append(
                    {AttributeText(tree, index),
                     AttributeText(tree,
                                   AndroidAttribute(tree, MaxSdkAttribute, "maxSdkVersion"))});
        } else if (open.size() == 3 && parent == QLatin1String("application") &&
                   name == QLatin1String("meta-data") &&
                   AttributeText(tree, AndroidAttribute(tree, NameAttribute, "name")) ==
                       QLatin1String("com.android.vending.splits.required") &&
                   AttributeText(tree, AndroidAttribute(tree, ValueAttribute, "value")) ==
                       QLatin1String("true")) {
            manifest.requiresSplits = true;
        }
    }
    return rootSeen ? std::optional<ApkManifest>(manifest) : std::nullopt;
}
