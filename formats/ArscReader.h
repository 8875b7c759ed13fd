#pragma once

#include "ResourceTable.h"

#include <bitset>
#include <unordered_map>

// Pelmora's own reader of a resource table, for the tables Android 14 and later write and the
// libandroidfw here (Android 10's) cannot read: type chunks whose entry offsets are 16 bits
// (FLAG_OFFSET16) and compact entries (FLAG_COMPACT), besides sparse type chunks and the older
// forms. It reads the table's value strings, its packages' type chunks with their
// configurations, the plain values of entries, and the type and key names that name a
// resource; bags are not read. Every offset is checked against the chunk that holds it, and a
// table with more type chunks than MaxTypeChunks is refused.
class ArscReader final : public ResourceTable
{
public:
    // Far more than any real table (framework-res.apk has 3,857).
    static constexpr qsizetype MaxTypeChunks = 65536;

    // Nothing when the chunks do not hold together.
    static std::unique_ptr<ArscReader> Read(const QByteArray &table);

    // Whether a type chunk keeps its offsets in 16 bits or holds a compact entry.
    bool usesNewerLayout() const { return newerLayout; }

    qsizetype configurationCount(quint32 id) const override;
    QList<TableValue> values(quint32 id) const override;
    std::optional<QString> string(quint32 index, qsizetype maxLength) const override;
    std::optional<QString> name(quint32 id, qsizetype maxLength) const override;

private:
    struct StringPool
    {
        qsizetype indexAt = 0; // where its offsets to the strings start
        qsizetype stringsAt = 0;
        qsizetype stringsEnd = 0;
        quint32 count = 0;
        bool utf8 = false;
    };
    // One type chunk: one configuration of one type.
    struct TypeChunk
    {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype offsetsAt = 0;
        qsizetype entriesAt = 0;
        quint32 entryCount = 0;
        quint8 flags = 0;
        TableValue configuration; // its density, language and country
    };

    // A package's names: its types' and its entries' keys. Either pool is empty (count 0) when
    // the package's header points at none that reads.
    struct PackageNames
    {
        StringPool types;
        StringPool keys;
        quint32 typeIdOffset = 0;
    };

    explicit ArscReader(const QByteArray &table) : bytes(table) {}
    std::optional<StringPool> readStringPool(qsizetype start, qsizetype end) const;
    // The pool whose chunk starts `offset` bytes into the package at `start`; empty when none.
    StringPool namePool(qsizetype start, qsizetype end, quint32 offset) const;
    std::optional<QString> poolString(const StringPool &strings, quint32 index,
                                      qsizetype maxLength) const;
    bool readPackage(qsizetype start, qsizetype end);
    bool readTypeChunk(quint32 key, qsizetype start, qsizetype end);
    // Where the entry `index` of `chunk` starts in the table; nothing when it has none.
    std::optional<qsizetype> entryAt(const TypeChunk &chunk, quint16 index) const;

    QByteArray bytes;
    StringPool pool;
    std::unordered_map<quint32, PackageNames> names; // by package id
    // Type chunks by package id << 8 | type id, in the table's order.
    std::unordered_map<quint32, QList<TypeChunk>> types;
    std::bitset<256> packagesSeen;
    qsizetype typeChunks = 0;
    bool newerLayout = false;
};
