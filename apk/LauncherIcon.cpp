#include "LauncherIcon.h"

#include "AdaptiveIconImage.h"
#include "IconImage.h"
#include "archive/ZipArchive.h"
#include "formats/ApkManifest.h"
#include "formats/Formats.h"
#include "formats/ResourceResolver.h"

#include <QColor>
#include <QHash>
#include <QSet>

namespace {

constexpr qint64 MaxIconXmlBytes = 1 << 20;
// An entry's path inside a package is far shorter; this bounds what a table's paths may take.
constexpr qsizetype MaxPathLength = 1024;
// Android takes a configuration without a density for mdpi.
constexpr int DefaultDensity = 160;

bool IsColour(quint8 type)
{
    return type >= ValueType::FirstColour && type <= ValueType::LastColour;
}

QByteArray PathOf(const ResourceTable &table, quint32 index)
{
    return table.string(index, MaxPathLength).value_or(QString()).toUtf8();
}

// The bitmap of the highest density among `values` that name files; each path is read out of the
// table once.
std::optional<PackageIcon> BestBitmap(const ZipArchive &apk, const ResourceTable &table,
                                      const QList<TableValue> &values)
{
    QHash<quint32, QByteArray> paths;
    QList<IconEntry> entries;
    for (const TableValue &value : values) {
        if (value.type != ValueType::String)
            continue;
        if (!paths.contains(value.data))
            paths.insert(value.data, PathOf(table, value.data));
        const QByteArray path = paths.value(value.data);
        if (!path.isEmpty())
            entries.append({value.density ? value.density : DefaultDensity, path});
    }
    return ReadBitmapIcon(apk, entries);
}

// A layer's drawable: a colour written in place, or a resource that is a bitmap or a colour.
IconLayer ReadLayer(const ZipArchive &apk, ResourceResolver &resolver,
                    const std::optional<DrawableValue> &drawable)
{
    if (!drawable)
        return {};
    if (IsColour(drawable->type))
        return QColor::fromRgba(drawable->data);
    if (drawable->type != ValueType::Reference)
        return {};
    const QList<TableValue> values = resolver.resolve(drawable->data);
    if (const std::optional<PackageIcon> bitmap = BestBitmap(apk, resolver.table(), values))
        return bitmap->bytes;
    for (const TableValue &value : values)
        if (IsColour(value.type))
            return QColor::fromRgba(value.data);
    return {};
}

// The icon composed from the adaptive icon at `path`; nothing when it is no adaptive icon or its
// foreground cannot be drawn.
std::optional<PackageIcon> ComposeFrom(const ZipArchive &apk, ResourceResolver &resolver,
                                       PixelBudget &pixels, const QByteArray &path)
{
    const std::optional<QByteArray> xml = apk.readEntry(path, MaxIconXmlBytes);
    const std::optional<AdaptiveIconXml> layers =
        xml ? ReadBinaryAdaptiveIcon(*xml).value : std::nullopt;
    if (!layers)
        return std::nullopt;
    // Without a foreground there is nothing to draw, whatever the background holds.
    const IconLayer foreground = ReadLayer(apk, resolver, layers->foreground);
    if (std::holds_alternative<std::monostate>(foreground))
        return std::nullopt;
    const IconLayer background = ReadLayer(apk, resolver, layers->background);
    const QByteArray png = ComposeAdaptiveIcon(background, foreground, pixels);
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
    const std::unique_ptr<const ResourceTable> table = OpenResourceTable(apk);
    if (!table)
        return std::nullopt;
    ResourceResolver resolver(*table);
    const QList<TableValue> values = resolver.resolve(manifest->iconResource);
    if (std::optional<PackageIcon> bitmap = BestBitmap(apk, *table, values))
        return bitmap;
    PixelBudget pixels;
    QSet<quint32> tried;
    for (const TableValue &value : values) {
        if (value.type != ValueType::String || tried.contains(value.data))
            continue;
        tried.insert(value.data);
        const QByteArray path = PathOf(*table, value.data);
        if (!path.endsWith(".xml"))
            continue;
        // A layer that reached a cap is not drawn without it.
        std::optional<PackageIcon> composed = ComposeFrom(apk, resolver, pixels, path);
        if (resolver.exhausted() || pixels.exhausted())
            return std::nullopt;
        if (composed)
            return composed;
    }
    return std::nullopt;
}
