#pragma once

#include <QByteArrayView>
#include <QtEndian>

// Reads little-endian fields from a span of bytes, in order or at a given offset. Every read
// first checks that the field lies whole within the span, so an offset or a length taken from the
// data can never reach past the span's end.
class LittleEndianCursor
{
public:
    explicit LittleEndianCursor(QByteArrayView bytes) : bytes(bytes) {}

    bool atEnd() const { return position == bytes.size(); }
    qint64 remaining() const { return bytes.size() - position; }

    bool readU32(quint32 &value) { return readField(value); }
    bool readU64(quint64 &value) { return readField(value); }

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

    // The field at `at`, whatever has been read; a field that does not lie whole within the span
    // reads as zero.
    quint8 u8At(qint64 at) const { return fieldAt<quint8>(at); }
    quint16 u16At(qint64 at) const { return fieldAt<quint16>(at); }
    quint32 u32At(qint64 at) const { return fieldAt<quint32>(at); }
    quint64 u64At(qint64 at) const { return fieldAt<quint64>(at); }

private:
    template <typename T> bool readField(T &value)
    {
        QByteArrayView field;
        if (!readBytes(sizeof(T), field))
            return false;
        value = qFromLittleEndian<T>(field.data());
        return true;
    }

    template <typename T> T fieldAt(qint64 at) const
    {
        if (at < 0 || at > bytes.size() - qint64(sizeof(T)))
            return 0;
        return qFromLittleEndian<T>(bytes.data() + at);
    }

    QByteArrayView bytes;
    qsizetype position = 0;
};
