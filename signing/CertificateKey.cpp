#include "CertificateKey.h"

namespace {

constexpr quint8 Sequence = 0x30;
constexpr quint8 Integer = 0x02;
constexpr quint8 BitString = 0x03;
constexpr quint8 ExplicitVersion = 0xa0;
// 1.2.840.113549.1.1.1
constexpr QByteArrayView RsaEncryption("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01", 11);

struct Element
{
    quint8 tag = 0;
    QByteArrayView whole;
    QByteArrayView content;
};

// The DER element at the start of `rest`, which is moved past it; false when it does not fit.
bool TakeElement(QByteArrayView &rest, Element &element)
{
    if (rest.size() < 2 || (quint8(rest[0]) & 0x1f) == 0x1f)
        return false;
    element.tag = quint8(rest[0]);
    qsizetype header = 2;
    quint64 length = quint8(rest[1]);
    if (length & 0x80) {
        const qsizetype bytes = qsizetype(length & 0x7f);
        if (bytes == 0 || bytes > 4 || rest.size() < 2 + bytes)
            return false;
        length = 0;
        for (qsizetype i = 0; i < bytes; ++i)
            length = length << 8 | quint8(rest[2 + i]);
        header += bytes;
    }
    if (length > quint64(rest.size() - header))
        return false;
    element.whole = rest.first(header + qsizetype(length));
    element.content = element.whole.sliced(header);
    rest = rest.sliced(element.whole.size());
    return true;
}

QByteArray Encode(quint8 tag, const QByteArray &content)
{
    QByteArray length;
    for (quint64 size = quint64(content.size()); size > 0; size >>= 8)
        length.prepend(char(size & 0xff));
    if (content.size() < 0x80)
        length = QByteArray(1, char(content.size()));
    else
        length.prepend(char(0x80 | length.size()));
    return char(tag) + length + content;
}

// `key` with a negative RSA modulus made positive; `key` itself otherwise.
QByteArray WithUnsignedModulus(QByteArrayView key)
{
    Element info, algorithm, bits, rsaKey, modulus;
    QByteArrayView rest = key;
    if (!TakeElement(rest, info))
        return {};
    QByteArrayView fields = info.content;
    if (!TakeElement(fields, algorithm) || !algorithm.content.startsWith(RsaEncryption) ||
        !TakeElement(fields, bits) || bits.tag != BitString || bits.content.size() < 1)
        return key.toByteArray();
    QByteArrayView rsa = bits.content.sliced(1);
    if (!TakeElement(rsa, rsaKey) || rsaKey.tag != Sequence)
        return key.toByteArray();
    QByteArrayView numbers = rsaKey.content;
    if (!TakeElement(numbers, modulus) || modulus.tag != Integer || modulus.content.isEmpty() ||
        !(quint8(modulus.content[0]) & 0x80))
        return key.toByteArray();
    const QByteArray positive = Encode(Integer, '\0' + modulus.content.toByteArray());
    const QByteArray rsaBytes = Encode(Sequence, positive + numbers.toByteArray());
    const QByteArray bitString = Encode(BitString, bits.content.first(1).toByteArray() + rsaBytes);
    return Encode(Sequence, algorithm.whole.toByteArray() + bitString);
}

} // namespace

QByteArray CertificatePublicKey(QByteArrayView der)
{
    Element certificate, tbs, field;
    QByteArrayView rest = der;
    if (!TakeElement(rest, certificate) || certificate.tag != Sequence)
        return {};
    QByteArrayView outer = certificate.content;
    if (!TakeElement(outer, tbs) || tbs.tag != Sequence)
        return {};
    // Version (optional), serial, signature algorithm, issuer, validity and subject come first.
    QByteArrayView fields = tbs.content;
    if (!TakeElement(fields, field))
        return {};
    for (int skipped = field.tag == ExplicitVersion ? 0 : 1; skipped < 5; ++skipped)
        if (!TakeElement(fields, field))
            return {};
    if (!TakeElement(fields, field) || field.tag != Sequence)
        return {};
    return WithUnsignedModulus(field.whole);
}
