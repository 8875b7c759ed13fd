#include "ManifestXml.h"

#include "LittleEndian.h"

namespace {

constexpr quint16 StringPoolChunk = 0x0001;
constexpr quint16 ResourceMapChunk = 0x0180;
constexpr quint16 FirstNodeChunk = 0x0100;
constexpr quint16 LastNodeChunk = 0x017f;
constexpr quint32 Utf8Pool = 1 << 8;

bool IsNode(quint16 type)
{
    return type >= FirstNodeChunk && type <= LastNodeChunk;
}

// Where the chunk of `type` starts among those before the first node (a namespace or an
// element), or where that node starts for a node's type; -1 when there is none.
qsizetype ChunkAt(const QByteArray &xml, quint16 type)
{
    for (qsizetype at = Get<quint16>(xml, 2); at + 8 <= xml.size();
         at += Get<quint32>(xml, at + 4)) {
        const quint16 found = Get<quint16>(xml, at);
        if (found == type || (IsNode(found) && IsNode(type)))
            return at;
        if (IsNode(found))
            return -1;
    }
    return -1;
}

// String `index` of the pool chunk at `pool`, in UTF-8 or UTF-16 as the pool keeps it.
QString PoolString(const QByteArray &xml, qsizetype pool, quint32 index)
{
    const qsizetype strings = pool + Get<quint32>(xml, pool + 20);
    qsizetype at = strings + Get<quint32>(xml, pool + Get<quint16>(xml, pool + 2) + 4 * index);
    // A length of one unit, or of two with the first's high bit set.
    const auto length = [&](int unit) {
        const quint32 high = unit == 1 ? 0x80 : 0x8000;
        quint32 value = unit == 1 ? Get<quint8>(xml, at) : Get<quint16>(xml, at);
        at += unit;
        if (value & high) {
            value = (value & (high - 1)) << (8 * unit) |
                    (unit == 1 ? Get<quint8>(xml, at) : Get<quint16>(xml, at));
            at += unit;
        }
        return qsizetype(value);
    };
    if (Get<quint32>(xml, pool + 16) & Utf8Pool) {
        length(1); // in UTF-16 units
        const qsizetype bytes = length(1);
        return QString::fromUtf8(xml.mid(at, bytes));
    }
    const qsizetype units = length(2);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(xml.constData() + at), units);
}

} // namespace

QByteArray WithAttributeId(const QByteArray &xml, const QString &name, quint32 id)
{
    const qsizetype pool = ChunkAt(xml, StringPoolChunk);
    const qsizetype map = ChunkAt(xml, ResourceMapChunk);
    if (pool < 0 || map < 0)
        return {};
    const qsizetype ids = map + Get<quint16>(xml, map + 2);
    const quint32 count = (Get<quint32>(xml, map + 4) - Get<quint16>(xml, map + 2)) / 4;
    for (quint32 index = 0; index < count; ++index)
        if (PoolString(xml, pool, index) == name) {
            QByteArray rewritten = xml;
            Put<quint32>(rewritten, ids + 4 * index, id);
            return rewritten;
        }
    return {};
}

QByteArray WithPadding(const QByteArray &xml, qint64 size)
{
    const qsizetype node = ChunkAt(xml, FirstNodeChunk);
    if (node < 0 || size % 4 != 0)
        return {};
    // Chunk type 0 is none of the string pool, the resource map or a node.
    const QByteArray padding = Bytes<quint16>(0) + Bytes<quint16>(8) +
                               Bytes<quint32>(quint32(size + 8)) + QByteArray(size, '\0');
    QByteArray padded = xml.first(node) + padding + xml.mid(node);
    Put<quint32>(padded, 4, quint32(padded.size()));
    return padded;
}
