#include "ArscReader.h"

#include "base/LittleEndianCursor.h"

#include <algorithm>

namespace {

// Chunk types (ResChunk_header::type) and flags, as resources.arsc has them.
constexpr quint16 StringPoolChunk = 0x0001;
constexpr quint16 TableChunk = 0x0002;
constexpr quint16 PackageChunk = 0x0200;
constexpr quint16 TypeChunkType = 0x0201;
constexpr quint32 Utf8Pool = 0x100;
constexpr quint8 SparseOffsets = 0x01;
constexpr quint8 Offsets16 = 0x02;
constexpr quint16 ComplexEntry = 0x0001;
constexpr quint16 CompactEntry = 0x0008;

constexpr qsizetype ChunkHeaderSize = 8;
constexpr qsizetype StringPoolHeaderSize = 28;
// A package header without its last field, typeIdOffset, which older tables lack.
constexpr qsizetype ShortPackageHeaderSize = 284;
constexpr qsizetype PackageHeaderSize = 288;
// A type chunk's header up to its configuration, and the configuration's size field.
constexpr qsizetype TypeHeaderSize = 20;
constexpr qsizetype ShortestTypeHeader = TypeHeaderSize + 4;
// Both kinds of entry start with 8 bytes: a compact entry is no more, a full one's header is.
constexpr qsizetype EntrySize = 8;
constexpr qsizetype ValueSize = 8;

struct Chunk
{
    quint16 type = 0;
    qsizetype start = 0;
    qsizetype headerEnd = 0;
    qsizetype end = 0;
};

class TableBytes : public LittleEndianCursor
{
public:
    using LittleEndianCursor::LittleEndianCursor;

    // The chunk at `at`, which must lie whole before `limit` and start on a 4-byte boundary, as
    // Android's own chunk reader requires.
    std::optional<Chunk> chunk(qsizetype at, qsizetype limit) const
    {
        if (at % 4 != 0 || limit - at < ChunkHeaderSize)
            return std::nullopt;
        const qsizetype header = u16At(at + 2);
        const qsizetype size = u32At(at + 4);
        if (header < ChunkHeaderSize || size < header || size > limit - at)
            return std::nullopt;
        return Chunk{u16At(at), at, at + header, at + size};
    }
};

quint32 TypeKey(quint32 package, quint32 type)
{
    return package << 8 | type;
}

QByteArray Letters(const TableBytes &bytes, qsizetype at)
{
    if (bytes.u8At(at) == 0 && bytes.u8At(at + 1) == 0)
        return {};
    const char letters[] = {char(bytes.u8At(at)), char(bytes.u8At(at + 1))};
    return QByteArray(letters, 2);
}

} // namespace

std::unique_ptr<ArscReader> ArscReader::Read(const QByteArray &table)
{
    const TableBytes bytes(table);
    const std::optional<Chunk> top = bytes.chunk(0, table.size());
    if (!top || top->type != TableChunk || top->headerEnd - top->start < 12)
        return nullptr;
    std::unique_ptr<ArscReader> reader(new ArscReader(table));
    bool poolSeen = false;
    for (qsizetype at = top->headerEnd; at < top->end;) {
        const std::optional<Chunk> chunk = bytes.chunk(at, top->end);
        if (!chunk)
            return nullptr;
        // The first string pool holds the values' strings, as Android takes it.
        if (chunk->type == StringPoolChunk && !poolSeen) {
            poolSeen = true;
            const std::optional<StringPool> pool = reader->readStringPool(chunk->start, chunk->end);
            if (!pool)
                return nullptr;
            reader->pool = *pool;
        } else if (chunk->type == PackageChunk && !reader->readPackage(chunk->start, chunk->end)) {
            return nullptr;
        }
        at = chunk->end;
    }
    return reader;
}

std::optional<ArscReader::StringPool> ArscReader::readStringPool(qsizetype start,
                                                                 qsizetype end) const
{
    const TableBytes read(bytes);
    const qsizetype header = read.u16At(start + 2);
    if (header < StringPoolHeaderSize)
        return std::nullopt;
    const quint32 count = read.u32At(start + 8);
    const quint32 styles = read.u32At(start + 12);
    const qsizetype stringsAt = start + read.u32At(start + 20);
    const qsizetype stylesAt = start + read.u32At(start + 24);
    const qsizetype indexAt = start + header;
    if (count > quint32((end - indexAt) / 4))
        return std::nullopt;
    if (count > 0 && (stringsAt < indexAt + 4 * qsizetype(count) || stringsAt > end))
        return std::nullopt;
    return StringPool{indexAt, stringsAt,
                      styles > 0 && stylesAt > stringsAt && stylesAt <= end ? stylesAt : end, count,
                      (read.u32At(start + 16) & Utf8Pool) != 0};
}

ArscReader::StringPool ArscReader::namePool(qsizetype start, qsizetype end, quint32 offset) const
{
    const TableBytes read(bytes);
    const std::optional<Chunk> chunk =
        offset < quint64(end - start) ? read.chunk(start + offset, end) : std::nullopt;
    if (!chunk || chunk->type != StringPoolChunk)
        return {};
    return readStringPool(chunk->start, chunk->end).value_or(StringPool{});
}

bool ArscReader::readPackage(qsizetype start, qsizetype end)
{
    const TableBytes read(bytes);
    const qsizetype header = read.u16At(start + 2);
    if (header < ShortPackageHeaderSize)
        return false;
    const quint32 id = read.u32At(start + 8);
    const quint32 typeIdOffset = header >= PackageHeaderSize ? read.u32At(start + 284) : 0;
    if (id > 0xff || typeIdOffset > 0xff)
        return false;
    // A second package of the same id is not looked at, as Android finds the first.
    if (packagesSeen.test(id))
        return true;
    packagesSeen.set(id);
    // Names are a nicety: a package whose name pools do not read still has its values.
    names[id] = {namePool(start, end, read.u32At(start + 268)),
                 namePool(start, end, read.u32At(start + 276)), typeIdOffset};
    for (qsizetype at = start + header; at < end;) {
        const std::optional<Chunk> chunk = read.chunk(at, end);
        if (!chunk)
            return false;
        if (chunk->type == TypeChunkType) {
            const quint32 type = read.u8At(chunk->start + 8) + typeIdOffset;
            if (read.u8At(chunk->start + 8) == 0 || type > 0xff ||
                !readTypeChunk(TypeKey(id, type), chunk->start, chunk->end))
                return false;
        }
        at = chunk->end;
    }
    return true;
}

bool ArscReader::readTypeChunk(quint32 key, qsizetype start, qsizetype end)
{
    const TableBytes read(bytes);
    const qsizetype header = read.u16At(start + 2);
    if (header < ShortestTypeHeader || ++typeChunks > MaxTypeChunks)
        return false;
    TypeChunk chunk;
    chunk.start = start;
    chunk.end = end;
    chunk.flags = read.u8At(start + 9);
    chunk.entryCount = read.u32At(start + 12);
    chunk.offsetsAt = start + header;
    chunk.entriesAt = start + read.u32At(start + 16);
    const qsizetype width = chunk.flags & SparseOffsets ? 4 : chunk.flags & Offsets16 ? 2 : 4;
    // An entry index is 16 bits, and Android takes no more entries than that.
    if (chunk.entryCount > 0xffff || (chunk.entriesAt - start) % 4 != 0 ||
        chunk.offsetsAt + width * chunk.entryCount > chunk.entriesAt || chunk.entriesAt > end)
        return false;
    // The configuration may be shorter than today's; what it lacks is unset.
    const qsizetype configuration = start + TypeHeaderSize;
    const qsizetype known = std::min<qsizetype>(read.u32At(configuration), header - TypeHeaderSize);
    if (known >= 12) {
        chunk.configuration.language = Letters(read, configuration + 8);
        chunk.configuration.country = Letters(read, configuration + 10);
    }
    if (known >= 16)
        chunk.configuration.density = read.u16At(configuration + 14);
    newerLayout = newerLayout || (chunk.flags & Offsets16);
    // A compact entry may sit behind 32-bit offsets too; the first found settles it.
    for (quint32 slot = 0; !newerLayout && slot < chunk.entryCount; ++slot) {
        const quint16 index =
            chunk.flags & SparseOffsets ? read.u16At(chunk.offsetsAt + 4 * slot) : quint16(slot);
        if (const std::optional<qsizetype> entry = entryAt(chunk, index))
            newerLayout = read.u16At(*entry + 2) & CompactEntry;
    }
    types[key].append(chunk);
    return true;
}

std::optional<qsizetype> ArscReader::entryAt(const TypeChunk &chunk, quint16 index) const
{
    const TableBytes read(bytes);
    qint64 offset = -1;
    if (chunk.flags & SparseOffsets) {
        // Sorted by index; each holds the index and the offset divided by 4.
        qsizetype low = 0, high = chunk.entryCount;
        while (low < high) {
            const qsizetype middle = low + (high - low) / 2;
            if (read.u16At(chunk.offsetsAt + 4 * middle) < index)
                low = middle + 1;
            else
                high = middle;
        }
        if (low < chunk.entryCount && read.u16At(chunk.offsetsAt + 4 * low) == index)
            offset = qint64(read.u16At(chunk.offsetsAt + 4 * low + 2)) * 4;
    } else if (index < chunk.entryCount && (chunk.flags & Offsets16)) {
        const quint16 stored = read.u16At(chunk.offsetsAt + 2 * index);
        if (stored != 0xffff)
            offset = qint64(stored) * 4;
    } else if (index < chunk.entryCount) {
        const quint32 stored = read.u32At(chunk.offsetsAt + 4 * index);
        if (stored != 0xffffffff)
            offset = stored;
    }
    if (offset < 0 || offset % 4 != 0 || chunk.end - chunk.entriesAt < offset + EntrySize)
        return std::nullopt;
    return chunk.entriesAt + offset;
}

qsizetype ArscReader::configurationCount(quint32 id) const
{
    const auto found = types.find(TypeKey(id >> 24, (id >> 16) & 0xff));
    return found == types.end() ? 0 : found->second.size();
}

QList<TableValue> ArscReader::values(quint32 id) const
{
    QList<TableValue> found;
    const auto chunks = types.find(TypeKey(id >> 24, (id >> 16) & 0xff));
    if (chunks == types.end())
        return found;
    const TableBytes read(bytes);
    for (const TypeChunk &chunk : chunks->second) {
        const std::optional<qsizetype> entry = entryAt(chunk, quint16(id & 0xffff));
        if (!entry)
            continue;
        const quint16 flags = read.u16At(*entry + 2);
        TableValue value = chunk.configuration;
        if (flags & CompactEntry) {
            // The key's index, the flags with the value's type in their high byte, the value.
            if (flags & ComplexEntry)
                continue;
            value.type = quint8(flags >> 8);
            value.data = read.u32At(*entry + 4);
        } else {
            const qsizetype size = read.u16At(*entry);
            const qsizetype valueAt = *entry + size;
            if (size < EntrySize || (flags & ComplexEntry) || chunk.end - valueAt < ValueSize ||
                read.u16At(valueAt) < ValueSize || read.u16At(valueAt) > chunk.end - valueAt)
                continue;
            value.type = read.u8At(valueAt + 3);
            value.data = read.u32At(valueAt + 4);
        }
        found.append(value);
    }
    return found;
}

std::optional<QString> ArscReader::string(quint32 index, qsizetype maxLength) const
{
    return poolString(pool, index, maxLength);
}

std::optional<QString> ArscReader::name(quint32 id, qsizetype maxLength) const
{
    const auto package = names.find(id >> 24);
    const auto chunks = types.find(TypeKey(id >> 24, (id >> 16) & 0xff));
    if (package == names.end() || chunks == types.end())
        return std::nullopt;
    const TableBytes read(bytes);
    for (const TypeChunk &chunk : chunks->second) {
        const std::optional<qsizetype> entry = entryAt(chunk, quint16(id & 0xffff));
        if (!entry)
            continue;
        // A compact entry keeps its key in its first 16 bits, a full one after its flags. The
        // type's name is found by its id as the table writes it, before the package's offset.
        const quint32 key =
            read.u16At(*entry + 2) & CompactEntry ? read.u16At(*entry) : read.u32At(*entry + 4);
        const quint32 typeIndex = ((id >> 16) & 0xff) - package->second.typeIdOffset - 1;
        const std::optional<QString> typeName =
            poolString(package->second.types, typeIndex, maxLength);
        const std::optional<QString> keyName = poolString(package->second.keys, key, maxLength);
        if (!typeName || !keyName || typeName->isEmpty() || keyName->isEmpty() ||
            typeName->size() + 1 + keyName->size() > maxLength)
            return std::nullopt;
        return *typeName + QLatin1Char('/') + *keyName;
    }
    return std::nullopt;
}

std::optional<QString> ArscReader::poolString(const StringPool &strings, quint32 index,
                                              qsizetype maxLength) const
{
    if (index >= strings.count)
        return std::nullopt;
    const TableBytes read(bytes);
    const qsizetype end = strings.stringsEnd;
    qsizetype at = strings.stringsAt + read.u32At(strings.indexAt + 4 * qsizetype(index));
    if (strings.utf8) {
        // Its length in UTF-16 units and then in bytes, each in one byte or two.
        qsizetype length = 0;
        for (int field = 0; field < 2; ++field) {
            if (end - at < 2)
                return std::nullopt;
            length = read.u8At(at);
            if (length & 0x80)
                length = (length & 0x7f) << 8 | read.u8At(++at);
            ++at;
        }
        // At least one byte for each unit and at most three.
        if (length > 3 * maxLength || end - at <= length || read.u8At(at + length) != 0)
            return std::nullopt;
        const QString text = QString::fromUtf8(bytes.constData() + at, length);
        return text.size() <= maxLength ? std::optional<QString>(text) : std::nullopt;
    }
    // Its length in UTF-16 units, in one unit or two.
    if (end - at < 4)
        return std::nullopt;
    qsizetype length = read.u16At(at);
    at += 2;
    if (length & 0x8000) {
        length = (length & 0x7fff) << 16 | read.u16At(at);
        at += 2;
    }
    if (length > maxLength || (end - at) / 2 <= length || read.u16At(at + 2 * length) != 0)
        return std::nullopt;
    QString text(length, Qt::Uninitialized);
    for (qsizetype unit = 0; unit < length; ++unit)
        text[unit] = QChar(read.u16At(at + 2 * unit));
    return text;
}
