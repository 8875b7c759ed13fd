#include "LauncherIcon.h"

#include "AdaptiveIconImage.h"
#include "archive/ZipArchive.h"
#include "bundle/AndroidXml.h"
#include "bundle/ApkManifest.h"

#include <QColor>
#include <androidfw/LoadedArsc.h>
#include <androidfw/ResourceTypes.h>

namespace {

// Resource tables of large apps run to tens of megabytes; this keeps a hostile one in bounds.
constexpr qint64 MaxTableBytes = 128 << 20;
constexpr qint64 MaxIconXmlBytes = 1 << 20;
// A resource may name another (an alias); a chain longer than this is not followed.
constexpr int MaxAliasDepth = 4;
constexpr quint32 DrawableAttribute = 0x01010199;
// Android takes a configuration without a density for mdpi.
constexpr int DefaultDensity = 160;

// One configuration's value of a resource, aliases followed: a file inside the package or a
// colour.
struct ResourceValue
{
    int density = DefaultDensity;
    QByteArray path;
    std::optional<QColor> colour;
};

class ResourceTable
{
public:
    explicit ResourceTable(const ZipArchive &apk)
        : bytes(apk.readEntry("resources.arsc", MaxTableBytes).value_or(QByteArray()))
    {
        if (!bytes.isEmpty())
            table = android::LoadedArsc::Load(
                android::StringPiece(bytes.constData(), size_t(bytes.size())));
    }

    // Every configuration's value of resource `id`.
    QList<ResourceValue> values(quint32 id, int depth = 0) const
    {
        QList<ResourceValue> found;
        const android::LoadedPackage *package = table ? table->GetPackageById(id >> 24) : nullptr;
        // Type 0 does not exist; every other type lists one chunk per configuration.
        const quint32 typeId = (id >> 16) & 0xff;
        const android::TypeSpec *configurations =
            package && typeId ? package->GetTypeSpecByTypeIndex(typeId - 1) : nullptr;
        if (!configurations || depth > MaxAliasDepth)
            return found;
        for (size_t i = 0; i < configurations->type_count; ++i) {
            const android::ResTable_type *type = configurations->types[i];
            const android::ResTable_entry *entry =
                android::LoadedPackage::GetEntry(type, id & 0xffff);
            if (!entry || (dtohs(entry->flags) & android::ResTable_entry::FLAG_COMPLEX))
                continue;
            const auto *value = reinterpret_cast<const android::Res_value *>(
                reinterpret_cast<const char *>(entry) + dtohs(entry->size));
            const int density = dtohs(type->config.density);
            // An alias keeps the densities of the resource it names.
            if (value->dataType == android::Res_value::TYPE_REFERENCE) {
                found.append(values(dtohl(value->data), depth + 1));
                continue;
            }
            ResourceValue resolved{density ? density : DefaultDensity, {}, std::nullopt};
            if (value->dataType == android::Res_value::TYPE_STRING) {
                size_t length = 0;
                const char16_t *path =
                    table->GetStringPool()->stringAt(dtohl(value->data), &length);
                if (!path)
                    continue;
                resolved.path = QString::fromUtf16(path, qsizetype(length)).toUtf8();
            } else if (value->dataType >= android::Res_value::TYPE_FIRST_COLOR_INT &&
                       value->dataType <= android::Res_value::TYPE_LAST_COLOR_INT) {
                resolved.colour = QColor::fromRgba(dtohl(value->data));
            } else {
                continue;
            }
            found.append(resolved);
        }
        return found;
    }

private:
    QByteArray bytes; // the table points into these
    std::unique_ptr<const android::LoadedArsc> table;
};

std::optional<PackageIcon> BestBitmap(const ZipArchive &apk, const QList<ResourceValue> &values)
{
    QList<IconEntry> entries;
    for (const ResourceValue &value : values)
        if (!value.path.isEmpty())
            entries.append({value.density, value.path});
    return ReadBitmapIcon(apk, entries);
}

// A layer's drawable: a colour written in place, or a resource that is a bitmap or a colour.
IconLayer ReadLayer(const ZipArchive &apk, const ResourceTable &table,
                    const android::Res_value &drawable)
{
    if (drawable.dataType >= android::Res_value::TYPE_FIRST_COLOR_INT &&
        drawable.dataType <= android::Res_value::TYPE_LAST_COLOR_INT)
        return QColor::fromRgba(drawable.data);
    if (drawable.dataType != android::Res_value::TYPE_REFERENCE)
        return {};
    const QList<ResourceValue> values = table.values(drawable.data);
    if (const std::optional<PackageIcon> bitmap = BestBitmap(apk, values))
        return bitmap->bytes;
    for (const ResourceValue &value : values)
        if (value.colour)
            return *value.colour;
    return {};
}

// The icon composed from the adaptive icon at `path`; nothing when it is no adaptive icon or its
// foreground cannot be drawn.
std::optional<PackageIcon> ComposeFrom(const ZipArchive &apk, const ResourceTable &table,
                                       const QByteArray &path)
{
    const std::optional<QByteArray> xml = apk.readEntry(path, MaxIconXmlBytes);
    android::ResXMLTree tree;
    if (!xml || tree.setTo(xml->constData(), size_t(xml->size())) != android::NO_ERROR)
        return std::nullopt;
    IconLayer background, foreground;
    int depth = 0;
    for (android::ResXMLParser::event_code_t event = tree.next();
         event != android::ResXMLParser::END_DOCUMENT &&
         event != android::ResXMLParser::BAD_DOCUMENT;
         event = tree.next()) {
        if (event == android::ResXMLParser::END_TAG)
            --depth;
        if (event != android::ResXMLParser::START_TAG)
            continue;
        const QString name = ElementName(tree);
        if (++depth == 1 && name != QLatin1String("adaptive-icon"))
            return std::nullopt;
        const std::optional<android::Res_value> drawable =
            AttributeValue(tree, AndroidAttribute(tree, DrawableAttribute, "drawable"));
        if (depth != 2 || !drawable)
            continue;
        if (name == QLatin1String("background"))
            background = ReadLayer(apk, table, *drawable);
        else if (name == QLatin1String("foreground"))
            foreground = ReadLayer(apk, table, *drawable);
    }
    const QByteArray png = ComposeAdaptiveIcon(background, foreground);
    return png.isEmpty() ? std::nullopt : std::optional<PackageIcon>(PackageIcon{path, png});
}

} // namespace

std::optional<PackageIcon> ReadLauncherIcon(const ZipArchive &apk,
                                            const QList<IconEntry> &namedByTool)
{
    if (std::optional<PackageIcon> named = ReadBitmapIcon(apk, namedByTool))
        return named;
    const std::optional<ApkManifest> manifest = ReadApkManifest(apk);
    if (!manifest || manifest->iconResource == 0)
        return std::nullopt;
    const ResourceTable table(apk);
    const QList<ResourceValue> values = table.values(manifest->iconResource);
    if (std::optional<PackageIcon> bitmap = BestBitmap(apk, values))
        return bitmap;
    for (const ResourceValue &value : values)
        if (value.path.endsWith(".xml"))
            if (std::optional<PackageIcon> composed = ComposeFrom(apk, table, value.path))
                return composed;
    return std::nullopt;
}
