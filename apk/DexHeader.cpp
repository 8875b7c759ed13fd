#include "DexHeader.h"

#include <QtEndian>
#include <array>

namespace {

constexpr quint32 LittleEndianTag = 0x12345678;
constexpr quint32 SwappedEndianTag = 0x78563412;
constexpr quint32 StandardHeaderSize = 0x70;
// From version 41 on a header also gives its container's size and its own place in it.
constexpr int ContainerVersion = 41;
constexpr quint32 ContainerHeaderSize = 0x78;
// Type and prototype indices are 16 bits wide everywhere they are used.
constexpr quint32 Max16BitTable = 0xFFFF;

// Where the header's fields lie.
enum Field : qsizetype
{
    FileSize = 0x20,
    HeaderSize = 0x24,
    EndianTag = 0x28,
    StringIds = 0x38,
    TypeIds = 0x40,
    ProtoIds = 0x48,
    FieldIds = 0x50,
    MethodIds = 0x58,
    ClassDefs = 0x60,
    ContainerSize = 0x70,
    HeaderOffset = 0x74,
};

quint32 Word(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

// A table of `count` items of `itemSize` bytes, from the offset the header gives beside it.
struct Table
{
    Field field;
    quint32 itemSize;
    const char *name;
};

constexpr std::array<Table, 6> Tables = {{
    {StringIds, 4, "string_ids"},
    {TypeIds, 4, "type_ids"},
    {ProtoIds, 12, "proto_ids"},
    {FieldIds, 8, "field_ids"},
    {MethodIds, 8, "method_ids"},
    {ClassDefs, 32, "class_defs"},
}};

// The version of "dex\n0NN\0"; nothing when `start` opens otherwise.
std::optional<int> MagicVersion(QByteArrayView start)
{
    const auto digit = [&](qsizetype at) { return start[at] >= '0' && start[at] <= '9'; };
    if (!start.startsWith("dex\n0") || !digit(5) || !digit(6) || start[7] != '\0')
        return std::nullopt;
    return (start[5] - '0') * 10 + (start[6] - '0');
}

DexHeaderReading Refused(FailureCode code, const QStringList &args = {})
{
    return {std::nullopt, {code, args}};
}

} // namespace

DexHeaderReading ParseDexHeader(QByteArrayView start, qint64 entrySize)
{
    if (start.size() < qsizetype(StandardHeaderSize) || entrySize < StandardHeaderSize)
        return Refused(FailureCode::DexShorterThanHeader);
    const std::optional<int> version = MagicVersion(start);
    if (!version)
        return Refused(FailureCode::DexBadMagic);
    const quint32 tag = Word(start, EndianTag);
    if (tag == SwappedEndianTag)
        return Refused(FailureCode::DexBigEndian);
    if (tag != LittleEndianTag)
        return Refused(FailureCode::DexBadEndianTag);
    const bool container = *version >= ContainerVersion;
    const quint32 headerSize = container ? ContainerHeaderSize : StandardHeaderSize;
    if (Word(start, HeaderSize) != headerSize || start.size() < qsizetype(headerSize))
        return Refused(FailureCode::DexBadHeaderSize);

    const quint32 fileSize = Word(start, FileSize);
    // What the entry holds, as the header says it: the file, or the container it opens.
    const quint32 entryHeld = container ? Word(start, ContainerSize) : fileSize;
    if (entryHeld != entrySize || fileSize < headerSize || fileSize > entryHeld ||
        (container && Word(start, HeaderOffset) != 0))
        return Refused(FailureCode::DexSizeMismatch);
    for (const Table &table : Tables) {
        const quint32 count = Word(start, table.field);
        const quint32 offset = Word(start, table.field + 4);
        const bool sixteenBit = table.field == TypeIds || table.field == ProtoIds;
        if (count > 0 && (offset < headerSize || offset % 4 != 0 ||
                          quint64(offset) + quint64(count) * table.itemSize > fileSize ||
                          (sixteenBit && count > Max16BitTable)))
            return Refused(FailureCode::DexTableOutsideFile, {QLatin1String(table.name)});
    }
    DexHeader header;
    header.version = *version;
    header.classes = Word(start, ClassDefs);
    header.methods = Word(start, MethodIds);
    header.fields = Word(start, FieldIds);
    header.strings = Word(start, StringIds);
    header.moreInContainer = fileSize < entryHeld;
    return {header, {}};
}

bool NearsMethodLimit(quint32 methods)
{
    return quint64(methods) * 10 >= quint64(MethodReferenceLimit) * 9;
}
