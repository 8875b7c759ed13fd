#include "CertificateKey.h"

namespace {

constexpr quint8 Sequence = 0x30;
constexpr quint8 Integer = 0x02;
constexpr quint8 BitString = 0x03;
constexpr quint8 ExplicitVersion = 0xa0;
// 1.2.840.113549.1.1.1
constexpr QByteArrayView RsaEncryption("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01", 11);
constexpr QByteArrayView Null("\x05\x00", 2);

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

// Whether an INTEGER's contents are a non-negative number in DER's shortest form.
bool ShortestNonNegative(QByteArrayView number)
{
    return !number.isEmpty() && !(quint8(number[0]) & 0x80) &&
           !(number.size() > 1 && number[0] == 0 && !(quint8(number[1]) & 0x80));
}

// The unsigned number `number` spells, in DER's shortest form.
QByteArray ShortestUnsigned(QByteArrayView number)
{
    while (number.size() > 1 && number[0] == 0)
        number = number.sliced(1);
    QByteArray bytes = number.toByteArray();
    if (quint8(bytes[0]) & 0x80)
        bytes.prepend('\0');
    return bytes;
}

// `key` as Android's BoringSSL encodes an RSA key it has read: NULL parameters whether they
// were NULL or left out, the modulus the unsigned number its bytes spell (a negative one as a
// few old signing tools wrote it included), both numbers in DER's shortest form. Empty for an
// RSA key that BoringSSL does not read; `key` itself for a key of another kind.
QByteArray AsAndroidEncodes(QByteArrayView key)
{
    Element info, algorithm, oid, parameters, bits, rsaKey, modulus, exponent;
    QByteArrayView rest = key;
    if (!TakeElement(rest, info))
        return {};
    QByteArrayView fields = info.content;
    if (!TakeElement(fields, algorithm))
        return {};
    QByteArrayView algorithmFields = algorithm.content;
    if (!TakeElement(algorithmFields, oid) || oid.whole != RsaEncryption)
        return key.toByteArray();
    if (!algorithmFields.isEmpty() && (!TakeElement(algorithmFields, parameters) ||
                                       parameters.whole != Null || !algorithmFields.isEmpty()))
        return {};
    if (!TakeElement(fields, bits) || bits.tag != BitString || !fields.isEmpty() ||
        bits.content.size() < 1 || bits.content[0] != 0)
        return {};
    QByteArrayView rsa = bits.content.sliced(1);
    if (!TakeElement(rsa, rsaKey) || rsaKey.tag != Sequence || !rsa.isEmpty())
        return {};
    QByteArrayView numbers = rsaKey.content;
    if (!TakeElement(numbers, modulus) || modulus.tag != Integer || modulus.content.isEmpty() ||
        !TakeElement(numbers, exponent) || exponent.tag != Integer ||
        !ShortestNonNegative(exponent.content) || !numbers.isEmpty())
        return {};
    const QByteArray rsaBytes =
        Encode(Sequence, Encode(Integer, ShortestUnsigned(modulus.content)) +
                             Encode(Integer, exponent.content.toByteArray()));
    const QByteArray algorithmBytes =
        Encode(Sequence, RsaEncryption.toByteArray() + Null.toByteArray());
    return Encode(Sequence, algorithmBytes + Encode(BitString, '\0' + rsaBytes));
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
    return AsAndroidEncodes(field.whole);
}
