#include "CentralDirectory.h"

#include "ByteCursor.h"

#include <QtEndian>

namespace {

constexpr quint32 EntrySignature = 0x02014b50;
constexpr qint64 EntryHeaderSize = 46;

} // namespace

bool MayHoldJarSignature(QByteArrayView bytes)
{
    ByteCursor cursor(bytes);
    while (!cursor.atEnd()) {
        QByteArrayView header, name, rest;
        if (!cursor.readBytes(EntryHeaderSize, header) ||
            qFromLittleEndian<quint32>(header.data()) != EntrySignature)
            return true;
        const auto *fields = reinterpret_cast<const uchar *>(header.data());
        const quint16 nameSize = qFromLittleEndian<quint16>(fields + 28);
        const quint16 extraSize = qFromLittleEndian<quint16>(fields + 30);
        const quint16 commentSize = qFromLittleEndian<quint16>(fields + 32);
        if (!cursor.readBytes(nameSize, name) ||
            !cursor.readBytes(quint64(extraSize) + commentSize, rest))
            return true;
        if (name.startsWith("META-INF/") && name.size() > 3 &&
            name.last(3).compare(".SF", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
