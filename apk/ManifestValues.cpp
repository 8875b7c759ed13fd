#include "ManifestValues.h"

namespace {

bool IsInteger(quint8 type)
{
    return type >= ValueType::FirstInteger && type <= ValueType::LastInteger;
}

} // namespace

ResourceResolver *ManifestValues::openedResolver()
{
    if (!opened) {
        opened = true;
        table = opener ? opener() : nullptr;
        if (table)
            resolver.emplace(*table);
    }
    return resolver ? &*resolver : nullptr;
}

std::optional<qint32> ManifestValues::integer(quint32 id)
{
    if (const auto known = integers.constFind(id); known != integers.cend())
        return *known;
    ResourceResolver *reading = openedResolver();
    const std::optional<qint32> value = reading ? reading->integer(id) : std::nullopt;
    integers.insert(id, value);
    return value;
}

std::optional<bool> ManifestValues::boolean(const XmlElement &element, quint32 id, bool fallback)
{
    const XmlAttribute *attribute = element.attribute(id);
    if (!attribute || (attribute->type == 0 && attribute->text.isEmpty()))
        return fallback;
    if (IsInteger(attribute->type))
        return attribute->data != 0;
    if (attribute->type == ValueType::Reference) {
        const std::optional<qint32> value = integer(attribute->data);
        return value ? std::optional<bool>(*value != 0) : std::nullopt;
    }
    // A string is read as XmlUtils.convertValueToBoolean reads it.
    return attribute->text == QLatin1String("true") || attribute->text == QLatin1String("TRUE") ||
           attribute->text == QLatin1String("1");
}

std::optional<int> ManifestValues::level(const XmlElement &element, quint32 id,
                                         std::optional<int> fallback)
{
    const XmlAttribute *attribute = element.attribute(id);
    if (!attribute)
        return fallback;
    if (IsInteger(attribute->type))
        return qint32(attribute->data);
    if (attribute->type == ValueType::Reference)
        return integer(attribute->data);
    // Android takes any string for a preview's codename, even one of digits.
    return attribute->text.isEmpty() ? fallback : std::optional<int>(PreviewSdkLevel);
}

QString ManifestValues::literal(const XmlElement &element, quint32 id)
{
    const XmlAttribute *attribute = element.attribute(id);
    return attribute && attribute->type != ValueType::Reference ? attribute->text : QString();
}

QString ManifestValues::resourcePath(quint32 id)
{
    ResourceResolver *reading = openedResolver();
    if (!reading)
        return {};
    QString path;
    for (const TableValue &value : reading->resolve(id)) {
        if (value.type != ValueType::String)
            return {};
        const QString candidate = reading->table()
                                      .string(value.data, ResourceResolver::MaxTextLength)
                                      .value_or(QString());
        if (candidate.isEmpty() || (!path.isEmpty() && candidate != path))
            return {};
        path = candidate;
    }
    return path;
}

SdkLevels DeclaredSdkLevels(const XmlDocument &manifest, ManifestValues &values)
{
    for (const XmlElement &element : manifest.elements)
        if (element.depth == 1 && element.name == QLatin1String("uses-sdk")) {
            const std::optional<int> min =
                values.level(element, AndroidAttribute::MinSdkVersion, 1);
            return {min, values.level(element, AndroidAttribute::TargetSdkVersion, min)};
        }
    return {1, 1};
}
