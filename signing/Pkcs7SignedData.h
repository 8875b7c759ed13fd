#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <optional>

// One SignerInfo of a PKCS #7 SignedData, as views into the block it was read from.
struct Pkcs7SignerInfo
{
    QByteArray digestAlgorithm;    // dotted OID
    QByteArray signatureAlgorithm; // dotted OID
    // The signing certificate's issuer (a Name) and serial (an INTEGER), as they stand;
    // both empty when the signer names its certificate by key identifier.
    QByteArrayView issuer;
    QByteArrayView serial;
    // The signed attributes' whole [0] element as it stands; empty when there are none.
    QByteArrayView signedAttributes;
    QByteArrayView signature;
};

// A PKCS #7 SignedData whose content is detached, as in a JAR signature block.
struct Pkcs7SignedData
{
    QByteArray contentType;             // encapContentInfo's eContentType, dotted
    QList<QByteArrayView> certificates; // each as it stands in the block, never re-encoded
    QList<Pkcs7SignerInfo> signerInfos;
};

// Limits no real signature block reaches: one or two certificates and one SignerInfo are usual.
inline constexpr qsizetype MaxPkcs7Certificates = 32;
inline constexpr qsizetype MaxPkcs7SignerInfos = 8;
inline constexpr qsizetype MaxPkcs7Attributes = 64;

// Parses a ContentInfo holding a SignedData. Nothing when the bytes are no such structure or
// exceed the limits above; `overLimit` then says which.
std::optional<Pkcs7SignedData> ParsePkcs7SignedData(QByteArrayView block, bool &overLimit);

// The signed attributes (the contents of `Pkcs7SignerInfo::signedAttributes`) by type, each
// with its values as they stand. Nothing when they do not parse, exceed the limit or name one
// type twice, which Android refuses.
std::optional<QMap<QByteArray, QList<QByteArrayView>>>
ParsePkcs7Attributes(QByteArrayView signedAttributes);
