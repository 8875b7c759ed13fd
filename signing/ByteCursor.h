#pragma once

#include <QByteArrayView>
#include <QtEndian>

// Reads little-endian fields from a span of bytes. Every read first checks that enough bytes
// remain, so a length taken from the data can never reach past the span's end.
class ByteCursor
{
public:
    explicit ByteCursor(QByteArrayView bytes) : bytes(bytes) {}

    bool atEnd() const { return position == bytes.size(); }
    qint64 remaining() const { return bytes.size() - position; }

    bool readU32(quint32 &value)
    {
        QByteArrayView field;
        if (!readBytes(4, field))
            return false;
        value = qFromLittleEndian<quint32>(field.data());
        return true;
    }

    bool readU64(quint64 &value)
    {
        QByteArrayView field;
        if (!readBytes(8, field))
            return false;
        value = qFromLittleEndian<quint64>(field.data());
        return true;
    }

    // Compared as unsigned 64-bit numbers, so no length from the data can overflow the check.
    bool readBytes(quint64 count, QByteArrayView &out)
    {
        if (count > quint64(remaining()))
            return false;
        out = bytes.sliced(position, qsizetype(count));
        position += qsizetype(count);
        return true;
    }

    // A 32-bit length followed by that many bytes.
    bool readLengthPrefixed(QByteArrayView &out)
    {
        quint32 length = 0;
        return readU32(length) && readBytes(length, out);
    }

private:
    QByteArrayView bytes;
    qsizetype position = 0;
};
