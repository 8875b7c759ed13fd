#include "Pkcs7SignedData.h"

#include "BerReader.h"

namespace {

const QByteArray SignedDataType("1.2.840.113549.1.7.2");

// An AlgorithmIdentifier's OID; its parameters are not read.
QByteArray AlgorithmOid(const BerElement &identifier)
{
    BerReader fields(identifier.contents);
    const auto oid = fields.next(Ber::Oid);
    return oid ? OidText(oid->contents) : QByteArray();
}

std::optional<Pkcs7SignerInfo> ParseSignerInfo(const BerElement &element)
{
    BerReader fields(element.contents);
    Pkcs7SignerInfo signer;
    if (!fields.next(Ber::Integer))
        return std::nullopt;
    if (const auto byIssuer = fields.next(Ber::Sequence)) {
        BerReader issuerAndSerial(byIssuer->contents);
        const auto issuer = issuerAndSerial.next(Ber::Sequence);
        const auto serial = issuerAndSerial.next(Ber::Integer);
        if (!issuer || !serial)
            return std::nullopt;
        signer.issuer = issuer->encoding;
        signer.serial = serial->encoding;
    } else if (!fields.next(Ber::PrimitiveContext0)) {
        return std::nullopt;
    }
    const auto digest = fields.next(Ber::Sequence);
    if (!digest)
        return std::nullopt;
    signer.digestAlgorithm = AlgorithmOid(*digest);
    if (const auto attributes = fields.next(Ber::Context0))
        signer.signedAttributes = attributes->encoding;
    const auto signatureAlgorithm = fields.next(Ber::Sequence);
    const auto signature = fields.next(Ber::OctetString);
    if (!signatureAlgorithm || !signature || signer.digestAlgorithm.isEmpty())
        return std::nullopt;
    signer.signatureAlgorithm = AlgorithmOid(*signatureAlgorithm);
    signer.signature = signature->contents;
    if (signer.signatureAlgorithm.isEmpty())
        return std::nullopt;
    return signer;
}

} // namespace

std::optional<Pkcs7SignedData> ParsePkcs7SignedData(QByteArrayView block, bool &overLimit)
{
    overLimit = false;
    BerReader outer(block);
    const auto contentInfo = outer.next(Ber::Sequence);
    if (!contentInfo)
        return std::nullopt;
    BerReader info(contentInfo->contents);
    const auto type = info.next(Ber::Oid);
    const auto explicitContent = info.next(Ber::Context0);
    if (!type || OidText(type->contents) != SignedDataType || !explicitContent)
        return std::nullopt;
    const auto signedData = BerReader(explicitContent->contents).next(Ber::Sequence);
    if (!signedData)
        return std::nullopt;

    BerReader fields(signedData->contents);
    const auto version = fields.next(Ber::Integer);
    const auto digestAlgorithms = fields.next(Ber::Set);
    const auto encapsulated = fields.next(Ber::Sequence);
    if (!version || !digestAlgorithms || !encapsulated)
        return std::nullopt;
    Pkcs7SignedData data;
    const auto contentType = BerReader(encapsulated->contents).next(Ber::Oid);
    if (!contentType)
        return std::nullopt;
    data.contentType = OidText(contentType->contents);
    if (const auto certificates = fields.next(Ber::Context0)) {
        BerReader each(certificates->contents);
        while (!each.atEnd()) {
            const auto certificate = each.next();
            if (!certificate)
                return std::nullopt;
            if (data.certificates.size() == MaxPkcs7Certificates) {
                overLimit = true;
                return std::nullopt;
            }
            data.certificates.append(certificate->encoding);
        }
    }
    fields.next(Ber::Context1); // revocation lists, which Android does not read
    const auto signerInfos = fields.next(Ber::Set);
    if (!signerInfos)
        return std::nullopt;
    BerReader each(signerInfos->contents);
    while (!each.atEnd()) {
        const auto element = each.next(Ber::Sequence);
        const auto signer = element ? ParseSignerInfo(*element) : std::nullopt;
        if (!signer)
            return std::nullopt;
        if (data.signerInfos.size() == MaxPkcs7SignerInfos) {
            overLimit = true;
            return std::nullopt;
        }
        data.signerInfos.append(*signer);
    }
    return data;
}

std::optional<QMap<QByteArray, QList<QByteArrayView>>>
ParsePkcs7Attributes(QByteArrayView signedAttributes)
{
    const auto element = BerReader(signedAttributes).next(Ber::Context0);
    if (!element)
        return std::nullopt;
    QMap<QByteArray, QList<QByteArrayView>> attributes;
    BerReader each(element->contents);
    while (!each.atEnd()) {
        const auto attribute = each.next(Ber::Sequence);
        if (!attribute || attributes.size() == MaxPkcs7Attributes)
            return std::nullopt;
        BerReader fields(attribute->contents);
        const auto type = fields.next(Ber::Oid);
        const auto values = fields.next(Ber::Set);
        if (!type || !values)
            return std::nullopt;
        const QByteArray name = OidText(type->contents);
        if (name.isEmpty() || attributes.contains(name))
            return std::nullopt;
        QList<QByteArrayView> &list = attributes[name];
        BerReader value(values->contents);
        while (!value.atEnd()) {
            const auto one = value.next();
            if (!one || list.size() == MaxPkcs7Attributes)
                return std::nullopt;
            list.append(one->encoding);
        }
    }
    return attributes;
}
