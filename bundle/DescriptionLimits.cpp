#include "DescriptionLimits.h"

namespace {

// The messages of ApkSetToc.proto, and which field of which holds which.
enum class TocMessage
{
    Result,
    Variant,
    ApkSet,
    Module,
    Apk,
    SplitMetadata,
};

struct ChildField
{
    TocMessage parent;
    quint64 field;
    TocMessage child;
};

constexpr ChildField ChildFields[] = {{TocMessage::Result, 1, TocMessage::Variant},
                                      {TocMessage::Variant, 2, TocMessage::ApkSet},
                                      {TocMessage::ApkSet, 1, TocMessage::Module},
                                      {TocMessage::ApkSet, 2, TocMessage::Apk},
                                      {TocMessage::Apk, 3, TocMessage::SplitMetadata}};

enum WireType : quint64
{
    Varint = 0,
    Fixed64 = 1,
    LengthDelimited = 2,
    Fixed32 = 5,
};

class WireReader
{
public:
    explicit WireReader(QByteArrayView bytes) : bytes(bytes) {}

    bool atEnd() const { return at == bytes.size(); }

    bool varint(quint64 &value)
    {
        value = 0;
        for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
            const quint8 byte = quint8(bytes[at++]);
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    bool skip(quint64 count)
    {
        QByteArrayView skipped;
        return take(count, skipped);
    }

    bool take(quint64 count, QByteArrayView &taken)
    {
        if (count > quint64(bytes.size() - at))
            return false;
        taken = bytes.sliced(at, qsizetype(count));
        at += qsizetype(count);
        return true;
    }

private:
    QByteArrayView bytes;
    qsizetype at = 0;
};

// Adds the messages within `bytes`, a message of type `type`, to `count`, and stops once past
// `limit`. False when the bytes are not well-formed. The schema nests five deep, and so does the
// recursion.
bool CountIn(QByteArrayView bytes, TocMessage type, qint64 &count, qint64 limit)
{
    WireReader reader(bytes);
    while (!reader.atEnd() && count <= limit) {
        quint64 key = 0, value = 0;
        if (!reader.varint(key))
            return false;
        switch (key & 7) {
        case Varint:
            if (!reader.varint(value))
                return false;
            break;
        case Fixed64:
            if (!reader.skip(8))
                return false;
            break;
        case Fixed32:
            if (!reader.skip(4))
                return false;
            break;
        case LengthDelimited: {
            QByteArrayView field;
            if (!reader.varint(value) || !reader.take(value, field))
                return false;
            for (const ChildField &child : ChildFields)
                if (child.parent == type && child.field == key >> 3 &&
                    !CountIn(field, child.child, ++count, limit))
                    return false;
            break;
        }
        default: // groups, which toc.pb never holds, and wire types that do not exist
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<qint64> CountTocMessages(QByteArrayView bytes, qint64 limit)
{
    qint64 count = 0;
    if (!CountIn(bytes, TocMessage::Result, count, limit))
        return std::nullopt;
    return count;
}

qint64 CountJsonValues(QByteArrayView bytes, qint64 limit)
{
    qint64 count = bytes.trimmed().isEmpty() ? 0 : 1;
    bool inString = false;
    bool escaped = false;
    for (qsizetype at = 0; at < bytes.size() && count <= limit; ++at) {
        const char c = bytes[at];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{' || c == ',') {
            ++count;
        }
    }
    return count;
}
