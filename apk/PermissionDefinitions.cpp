#include "PermissionDefinitions.h"

#include "ManifestValues.h"
#include "PlatformPackage.h"
#include "ProtectionLevel.h"
#include "formats/ResourceResolver.h"

#include <QSet>
#include <algorithm>

namespace {

bool IsPermission(const XmlElement &element)
{
    return element.depth == 1 && element.namespaceUri.isEmpty() &&
           element.name == QLatin1String("permission");
}

// A string written as it is; Android takes a permission's name and group no other way.
QString LiteralString(const XmlAttribute *attribute)
{
    return attribute && attribute->type == ValueType::String ? attribute->text : QString();
}

bool IsReference(const XmlAttribute *attribute)
{
    return attribute && attribute->type == ValueType::Reference && attribute->data != 0;
}

QString ResolvedText(const XmlAttribute *attribute, ResourceResolver *resolver)
{
    if (!attribute)
        return {};
    if (!IsReference(attribute))
        return LiteralString(attribute);
    if (!resolver)
        return {};
    const ResourceText text = resolver->text(attribute->data);
    return text.chinese.isEmpty() ? text.text : text.chinese;
}

std::optional<quint32> ReadLevel(const XmlAttribute *attribute, ResourceResolver *resolver)
{
    if (!attribute)
        return ProtectionLevel::Normal;
    if (attribute->type >= ValueType::FirstInteger && attribute->type <= ValueType::LastInteger)
        return FixedProtectionLevel(attribute->data);
    if (IsReference(attribute) && resolver)
        if (const std::optional<qint32> level = resolver->integer(attribute->data))
            return FixedProtectionLevel(quint32(*level));
    return std::nullopt;
}

PermissionDefinition ReadDefinition(const XmlElement &element, ResourceResolver *resolver)
{
    const XmlAttribute *label = element.attribute(AndroidAttribute::Label);
    return {
        LiteralString(element.attribute(AndroidAttribute::Name)),
        ReadLevel(element.attribute(AndroidAttribute::ProtectionLevel), resolver),
        LiteralString(element.attribute(AndroidAttribute::PermissionGroup)),
        ResolvedText(label, resolver),
        ResolvedText(element.attribute(AndroidAttribute::Description), resolver),
        IsReference(label) ? label->data : 0,
    };
}

// How the references of the definitions are resolved together.
enum class Resolving
{
    // All of them within one resolver's budget: a package's, whose manifest may declare a
    // million permissions that each refer to a resource.
    Shared,
    // Each within its own: the platform's, where one label examines 2,208 configurations and
    // 533 permissions together would overrun one budget.
    EachOwn,
};

// Every <permission> directly inside `manifest`'s root, in order, the first of each name only,
// as Android keeps the first definition. References are resolved through `table` when given.
QList<PermissionDefinition> ReadPermissionDefinitions(const XmlDocument &manifest,
                                                      const ResourceTable *table,
                                                      Resolving resolving)
{
    QList<PermissionDefinition> definitions;
    QSet<QString> named;
    std::optional<ResourceResolver> resolver;
    for (const XmlElement &element : manifest.elements) {
        if (!IsPermission(element))
            continue;
        if (table && (!resolver || resolving == Resolving::EachOwn))
            resolver.emplace(*table);
        PermissionDefinition definition = ReadDefinition(element, resolver ? &*resolver : nullptr);
        // Android refuses a package with a nameless one; here it is left out.
        if (definition.name.isEmpty() || named.contains(definition.name))
            continue;
        named.insert(definition.name);
        definitions.append(std::move(definition));
    }
    return definitions;
}

QHash<QString, PermissionDefinition> ReadPlatformPermissions()
{
    const PlatformPackage &platform = ThePlatformPackage();
    QHash<QString, PermissionDefinition> byName;
    if (!platform.manifest)
        return byName;
    for (PermissionDefinition &definition :
         ReadPermissionDefinitions(*platform.manifest, platform.table.get(), Resolving::EachOwn))
        byName.insert(definition.name, std::move(definition));
    return byName;
}

} // namespace

QList<PermissionDefinition> ReadDeclaredPermissions(const XmlDocument &manifest,
                                                    const ZipArchive &apk)
{
    const bool refers = std::any_of(
        manifest.elements.cbegin(), manifest.elements.cend(), [](const XmlElement &element) {
            return IsPermission(element) &&
                   std::any_of(element.attributes.cbegin(), element.attributes.cend(),
                               [](const XmlAttribute &attribute) {
                                   return attribute.type == ValueType::Reference;
                               });
        });
    const std::unique_ptr<const ResourceTable> table = refers ? OpenResourceTable(apk) : nullptr;
    return ReadPermissionDefinitions(manifest, table.get(), Resolving::Shared);
}

const QHash<QString, PermissionDefinition> &ThePlatformPermissions()
{
    static const QHash<QString, PermissionDefinition> permissions = ReadPlatformPermissions();
    return permissions;
}

QString PlatformPermissionsRelease()
{
    return QStringLiteral("Android %1 (API %2)")
        .arg(QLatin1String(PlatformPackage::Release))
        .arg(PlatformPackage::ApiLevel);
}
