#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// One BER element as it stands in the bytes.
struct BerElement
{
    quint8 identifier = 0;   // the first identifier octet: class, constructed bit, tag number
    QByteArrayView contents; // for an indefinite length, up to its end-of-contents octets
    QByteArrayView encoding; // the whole element: identifier, length, contents
};

// Identifier octets of the elements a signature block is made of.
namespace Ber {
inline constexpr quint8 Integer = 0x02;
inline constexpr quint8 BitString = 0x03;
inline constexpr quint8 OctetString = 0x04;
inline constexpr quint8 Oid = 0x06;
inline constexpr quint8 Sequence = 0x30;
inline constexpr quint8 Set = 0x31;
inline constexpr quint8 Context0 = 0xa0; // [0], constructed
inline constexpr quint8 Context1 = 0xa1; // [1], constructed
inline constexpr quint8 PrimitiveContext0 = 0x80;
} // namespace Ber

// Reads consecutive BER elements, as Android reads JAR signature blocks: definite lengths in as
// many octets as the writer chose (old signing tools wrote redundant ones), indefinite lengths
// nested at most MaxDepth deep, high tag numbers. Every length is checked against the bytes
// that remain, so nothing from the data can reach past them.
class BerReader
{
public:
    static constexpr int MaxDepth = 16;

    explicit BerReader(QByteArrayView bytes) : rest(bytes) {}

    bool atEnd() const { return rest.isEmpty(); }
    // The next element; nothing when the bytes do not hold one.
    std::optional<BerElement> next();
    // The next element when its identifier is `identifier`; otherwise nothing, and the reader
    // stays where it was.
    std::optional<BerElement> next(quint8 identifier);

private:
    QByteArrayView rest;
};

// An OBJECT IDENTIFIER's contents in dotted form ("1.2.840.113549.1.7.2"); empty when they are
// not a well-formed identifier.
QByteArray OidText(QByteArrayView contents);
