#include "CompactTable.h"

#include "LittleEndian.h"

namespace {

constexpr quint16 PackageChunk = 0x0200;
constexpr quint16 TypeChunk = 0x0201;
constexpr quint32 NoEntry = 0xffffffff;
constexpr quint16 ComplexEntry = 0x0001;
constexpr quint16 CompactEntry = 0x0008;
constexpr quint8 Offsets16 = 0x02;

QByteArray CompactTypeChunk(const QByteArray &chunk)
{
    const qsizetype header = Get<quint16>(chunk, 2);
    const quint32 count = Get<quint32>(chunk, 12);
    const qsizetype entries = Get<quint32>(chunk, 16);
    QByteArray offsets, body;
    for (quint32 index = 0; index < count; ++index) {
        const quint32 offset = Get<quint32>(chunk, header + 4 * index);
        if (offset == NoEntry) {
            offsets += Bytes<quint16>(0xffff);
            continue;
        }
        offsets += Bytes<quint16>(quint16(body.size() / 4));
        const qsizetype entry = entries + offset;
        const quint16 size = Get<quint16>(chunk, entry);
        const quint16 flags = Get<quint16>(chunk, entry + 2);
        const quint32 key = Get<quint32>(chunk, entry + 4);
        if ((flags & ComplexEntry) || key > 0xffff) {
            // A bag: its header, then its count of 12-byte name and value pairs.
            const qsizetype length =
                flags & ComplexEntry ? size + 12 * Get<quint32>(chunk, entry + 12) : size + 8;
            body += chunk.mid(entry, length);
            continue;
        }
        const quint8 type = Get<quint8>(chunk, entry + size + 3);
        body += Bytes<quint16>(quint16(key)) +
                Bytes<quint16>(quint16(flags | CompactEntry | type << 8)) +
                Bytes<quint32>(Get<quint32>(chunk, entry + size + 4));
    }
    offsets += QByteArray((4 - offsets.size() % 4) % 4, '\0');
    QByteArray compact = chunk.first(header) + offsets + body;
    Put<quint32>(compact, 4, quint32(compact.size()));
    Put<quint8>(compact, 9, Get<quint8>(chunk, 9) | Offsets16);
    Put<quint32>(compact, 16, quint32(header + offsets.size()));
    return compact;
}

// The chunks from `at` to `end`, type chunks made compact and packages' children with them.
QByteArray CompactChunks(const QByteArray &table, qsizetype at, qsizetype end)
{
    QByteArray result;
    while (at < end) {
        const quint16 type = Get<quint16>(table, at);
        const qsizetype header = Get<quint16>(table, at + 2);
        const qsizetype size = Get<quint32>(table, at + 4);
        QByteArray chunk = table.mid(at, size);
        if (type == TypeChunk) {
            chunk = CompactTypeChunk(chunk);
        } else if (type == PackageChunk) {
            chunk = chunk.first(header) + CompactChunks(table, at + header, at + size);
            Put<quint32>(chunk, 4, quint32(chunk.size()));
        }
        result += chunk;
        at += size;
    }
    return result;
}

} // namespace

QByteArray WithCompactEntries(const QByteArray &table)
{
    const qsizetype header = Get<quint16>(table, 2);
    QByteArray compact = table.first(header) + CompactChunks(table, header, table.size());
    Put<quint32>(compact, 4, quint32(compact.size()));
    return compact;
}
