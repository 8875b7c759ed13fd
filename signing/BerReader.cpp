#include "BerReader.h"

namespace {

constexpr quint8 Constructed = 0x20;
constexpr int MaxTagOctets = 4;
constexpr int MaxLengthOctets = 8;

// The element at the start of `bytes`, or nothing.
std::optional<BerElement> ElementAt(QByteArrayView bytes, int depth)
{
    qsizetype at = 0;
    if (bytes.isEmpty())
        return std::nullopt;
    const quint8 identifier = quint8(bytes[at++]);
    if ((identifier & 0x1f) == 0x1f) {
        for (int octets = 0;; ++octets) {
            if (octets == MaxTagOctets || at == bytes.size())
                return std::nullopt;
            if (!(quint8(bytes[at++]) & 0x80))
                break;
        }
    }
    if (at == bytes.size())
        return std::nullopt;
    const quint8 first = quint8(bytes[at++]);
    BerElement element;
    element.identifier = identifier;
    if (first == 0x80) {
        // Indefinite: the contents are elements up to two zero octets.
        if (!(identifier & Constructed) || depth >= BerReader::MaxDepth)
            return std::nullopt;
        const qsizetype start = at;
        while (true) {
            if (bytes.size() - at >= 2 && bytes[at] == 0 && bytes[at + 1] == 0)
                break;
            const auto inner = ElementAt(bytes.sliced(at), depth + 1);
            if (!inner)
                return std::nullopt;
            at += inner->encoding.size();
        }
        element.contents = bytes.sliced(start, at - start);
        element.encoding = bytes.first(at + 2);
        return element;
    }
    quint64 length = first;
    if (first & 0x80) {
        const int octets = first & 0x7f;
        if (octets > MaxLengthOctets || octets > bytes.size() - at)
            return std::nullopt;
        length = 0;
        for (int i = 0; i < octets; ++i)
            length = length << 8 | quint8(bytes[at++]);
    }
    if (length > quint64(bytes.size() - at))
        return std::nullopt;
    element.contents = bytes.sliced(at, qsizetype(length));
    element.encoding = bytes.first(at + qsizetype(length));
    return element;
}

} // namespace

std::optional<BerElement> BerReader::next()
{
    auto element = ElementAt(rest, 0);
    if (element)
        rest = rest.sliced(element->encoding.size());
    return element;
}

std::optional<BerElement> BerReader::next(quint8 identifier)
{
    BerReader ahead(rest);
    auto element = ahead.next();
    if (!element || element->identifier != identifier)
        return std::nullopt;
    rest = ahead.rest;
    return element;
}

QByteArray OidText(QByteArrayView contents)
{
    QByteArray text;
    quint64 value = 0;
    int octets = 0;
    bool first = true;
    for (const char byte : contents) {
        // Subidentifiers longer than eight octets name nothing this program knows.
        if (++octets > 8)
            return {};
        value = value << 7 | (quint8(byte) & 0x7f);
        if (quint8(byte) & 0x80)
            continue;
        if (first) {
            const quint64 arc = value < 80 ? value / 40 : 2;
            text = QByteArray::number(arc) + '.' + QByteArray::number(value - arc * 40);
            first = false;
        } else {
            text += '.' + QByteArray::number(value);
        }
        value = 0;
        octets = 0;
    }
    return octets == 0 ? text : QByteArray();
}
