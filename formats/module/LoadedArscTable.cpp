#include "LoadedArscTable.h"

#include <algorithm>
#include <androidfw/LoadedArsc.h>
#include <androidfw/ResourceTypes.h>
#include <cstring>

namespace {

class LoadedArscTable final : public ResourceTable
{
public:
    LoadedArscTable(const QByteArray &bytes, std::unique_ptr<const android::LoadedArsc> table)
        : bytes(bytes), table(std::move(table))
    {
    }

    qsizetype configurationCount(quint32 id) const override
    {
        const android::TypeSpec *type = typeOf(id);
        return type ? qsizetype(type->type_count) : 0;
    }

    QList<TableValue> values(quint32 id) const override
    {
        QList<TableValue> found;
        const android::TypeSpec *type = typeOf(id);
        for (size_t i = 0; type && i < type->type_count; ++i) {
            const android::ResTable_type *chunk = type->types[i];
            // The library has checked that the entry and its value lie within the chunk.
            const android::ResTable_entry *entry =
                android::LoadedPackage::GetEntry(chunk, quint16(id & 0xffff));
            if (!entry || (dtohs(entry->flags) & android::ResTable_entry::FLAG_COMPLEX))
                continue;
            const auto *value = reinterpret_cast<const android::Res_value *>(
                reinterpret_cast<const char *>(entry) + dtohs(entry->size));
            const android::ResTable_config configuration = ConfigurationOf(*chunk);
            found.append({dtohs(configuration.density), Letters(configuration.language),
                          Letters(configuration.country), value->dataType, dtohl(value->data)});
        }
        return found;
    }

    std::optional<QString> string(quint32 index, qsizetype maxLength) const override
    {
        return PoolString(*table->GetStringPool(), index, maxLength);
    }

    std::optional<QString> name(quint32 id, qsizetype maxLength) const override
    {
        const android::LoadedPackage *package = table->GetPackageById(quint8(id >> 24));
        const android::TypeSpec *type = typeOf(id);
        for (size_t i = 0; package && type && i < type->type_count; ++i) {
            const android::ResTable_entry *entry =
                android::LoadedPackage::GetEntry(type->types[i], quint16(id & 0xffff));
            if (!entry)
                continue;
            // The type's name by its id as the table writes it, before any offset, as Android
            // names a resource.
            const std::optional<QString> typeName = PoolString(
                *package->GetTypeStringPool(), quint32(type->type_spec->id) - 1, maxLength);
            const std::optional<QString> key =
                PoolString(*package->GetKeyStringPool(), dtohl(entry->key.index), maxLength);
            if (!typeName || !key || typeName->isEmpty() || key->isEmpty() ||
                typeName->size() + 1 + key->size() > maxLength)
                return std::nullopt;
            return *typeName + QLatin1Char('/') + *key;
        }
        return std::nullopt;
    }

private:
    // String `index` of `pool`; nothing when there is none or it is longer than `maxLength`.
    static std::optional<QString> PoolString(const android::ResStringPool &pool, quint32 index,
                                             qsizetype maxLength)
    {
        size_t length = 0;
        // Measured before it is decoded: at least one byte for each UTF-16 unit, at most three.
        if (const char *utf8 = pool.string8At(index, &length)) {
            if (length > 3 * size_t(maxLength))
                return std::nullopt;
            const QString text = QString::fromUtf8(utf8, qsizetype(length));
            return text.size() <= maxLength ? std::optional<QString>(text) : std::nullopt;
        }
        if (const char16_t *text = pool.stringAt(index, &length))
            return length <= size_t(maxLength)
                       ? std::optional<QString>(QString::fromUtf16(text, qsizetype(length)))
                       : std::nullopt;
        return std::nullopt;
    }

    // Type 0 does not exist; every other type lists one chunk per configuration.
    const android::TypeSpec *typeOf(quint32 id) const
    {
        const android::LoadedPackage *package = table->GetPackageById(quint8(id >> 24));
        const quint32 type = (id >> 16) & 0xff;
        return package && type ? package->GetTypeSpecByTypeIndex(quint8(type - 1)) : nullptr;
    }

    // A chunk's configuration may be shorter than today's, and never reaches past its header.
    static android::ResTable_config ConfigurationOf(const android::ResTable_type &chunk)
    {
        android::ResTable_config configuration;
        std::memset(&configuration, 0, sizeof configuration);
        const size_t header =
            dtohs(chunk.header.headerSize) - offsetof(android::ResTable_type, config);
        std::memcpy(&configuration, &chunk.config,
                    std::min({size_t(dtohl(chunk.config.size)), header, sizeof configuration}));
        return configuration;
    }

    static QByteArray Letters(const char (&letters)[2])
    {
        return letters[0] || letters[1] ? QByteArray(letters, 2) : QByteArray();
    }

    QByteArray bytes; // the table points into these
    std::unique_ptr<const android::LoadedArsc> table;
};

} // namespace

std::unique_ptr<const ResourceTable> LoadWithLibandroidfw(const QByteArray &bytes)
{
    std::unique_ptr<const android::LoadedArsc> table =
        android::LoadedArsc::Load(android::StringPiece(bytes.constData(), size_t(bytes.size())));
    if (!table)
        return nullptr;
    return std::make_unique<LoadedArscTable>(bytes, std::move(table));
}
