#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class ZipArchive;

// Android's codes for a value's type (Res_value::dataType), the few Pelmora reads.
namespace ValueType {
constexpr quint8 Reference = 0x01;
constexpr quint8 String = 0x03;
constexpr quint8 FirstInteger = 0x10; // decimal, hex, boolean and colours, as Android reads ints
constexpr quint8 LastInteger = 0x1f;
constexpr quint8 FirstColour = 0x1c;
constexpr quint8 LastColour = 0x1f;
} // namespace ValueType

// One configuration's value of a resource, as the table holds it: a reference to another
// resource is not followed here.
struct TableValue
{
    int density = 0;          // 0 when the configuration names none
    QByteArray language = {}; // two letters ("zh"), or empty for no locale
    QByteArray country = {};  // two letters ("CN"), or empty
    quint8 type = 0;          // a ValueType
    quint32 data = 0;         // the value itself: a resource id, a string's index, a colour
};

// A package's resource table (resources.arsc), read only for what the label, the launcher
// icon and the manifest's references need.
class ResourceTable
{
public:
    virtual ~ResourceTable() = default;
    // How many configurations resource `id`'s type has: what looking it up examines.
    virtual qsizetype configurationCount(quint32 id) const = 0;
    // Every configuration's plain value of resource `id`; a configuration holding a bag (a
    // style, a plural) or an entry that does not read gives none.
    virtual QList<TableValue> values(quint32 id) const = 0;
    // String `index` of the table's value strings; nothing when there is none or it is longer
    // than `maxLength` UTF-16 units.
    virtual std::optional<QString> string(quint32 index, qsizetype maxLength) const = 0;
    // Resource `id`'s name as "type/entry" ("string/app_name"): its type's name and the key of
    // its first configuration that has the entry. Nothing when the table has no such entry or
    // either part is missing, empty or longer than `maxLength` UTF-16 units.
    virtual std::optional<QString> name(quint32 id, qsizetype maxLength) const = 0;
};

// Resource tables of large apps run to tens of megabytes; this keeps a hostile one in bounds.
constexpr qint64 MaxTableBytes = 128 << 20;

// The resource table of the APK whose entries `apk` holds. libandroidfw reads it (in the formats
// module), unless it uses what that library's Android 10 predates (16-bit entry offsets, compact
// entries), which Pelmora's own reader (ArscReader) reads. Nothing when there is no table, it
// does not read, or it needs the module and that cannot be loaded.
std::unique_ptr<const ResourceTable> OpenResourceTable(const ZipArchive &apk);
// The same for a table's bytes already read, which the table may point into for its lifetime.
std::unique_ptr<const ResourceTable> ReadResourceTable(const QByteArray &bytes);
