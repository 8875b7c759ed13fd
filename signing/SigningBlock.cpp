#include "SigningBlock.h"

#include "base/LittleEndianCursor.h"

#include <functional>
#include <optional>

namespace {

constexpr QByteArrayView Magic("APK Sig Block 42");
// Generous for digests, certificates, attributes and rotations, but far below what a hostile
// block could ask for.
constexpr int MaxListEntries = 64;

QByteArray Copy(QByteArrayView bytes)
{
    return bytes.toByteArray();
}

// Android reads SDK levels as signed 32-bit numbers.
bool ReadI32(LittleEndianCursor &cursor, qint32 &value)
{
    quint32 bits = 0;
    if (!cursor.readU32(bits))
        return false;
    value = qint32(bits);
    return true;
}

// Calls `take` for each length-prefixed element of `sequence`, stopping at the first false.
// Counts the elements first so that an absurd number is refused before anything is parsed.
bool ForEachElement(QByteArrayView sequence, int limit,
                    const std::function<bool(QByteArrayView)> &take)
{
    LittleEndianCursor counter(sequence);
    int count = 0;
    QByteArrayView element;
    while (!counter.atEnd()) {
        if (!counter.readLengthPrefixed(element) || ++count > limit)
            return false;
    }
    LittleEndianCursor cursor(sequence);
    while (!cursor.atEnd()) {
        cursor.readLengthPrefixed(element);
        if (!take(element))
            return false;
    }
    return true;
}

bool ReadAlgorithmValues(QByteArrayView sequence, QList<AlgorithmValue> &out)
{
    return ForEachElement(sequence, MaxListEntries, [&out](QByteArrayView element) {
        LittleEndianCursor cursor(element);
        AlgorithmValue value;
        QByteArrayView bytes;
        if (!cursor.readU32(value.algorithm) || !cursor.readLengthPrefixed(bytes))
            return false;
        value.bytes = Copy(bytes);
        out.append(value);
        return true;
    });
}

// Counts the elements of a well-formed sequence, up to `limit` + 1.
int CountElements(QByteArrayView sequence, int limit)
{
    LittleEndianCursor cursor(sequence);
    QByteArrayView element;
    int count = 0;
    while (count <= limit && !cursor.atEnd() && cursor.readLengthPrefixed(element))
        ++count;
    return count;
}

bool ReadLineage(QByteArrayView value, SchemeSigner &signer)
{
    LittleEndianCursor cursor(value);
    quint32 version = 0;
    QByteArrayView nodes;
    if (!cursor.readU32(version) || version != 1 || !cursor.readBytes(cursor.remaining(), nodes))
        return false;
    // Told apart from a malformed lineage so that the reason is clear; nothing more is read.
    if (CountElements(nodes, MaxLineageNodes) > MaxLineageNodes) {
        signer.lineageTooLong = true;
        return true;
    }
    QList<LineageNode> &out = signer.lineage;
    return ForEachElement(nodes, MaxLineageNodes, [&out](QByteArrayView element) {
        LittleEndianCursor node(element);
        LineageNode entry;
        QByteArrayView signedData, signature, certificate;
        if (!node.readLengthPrefixed(signedData) || !node.readU32(entry.flags) ||
            !node.readU32(entry.childAlgorithm) || !node.readLengthPrefixed(signature))
            return false;
        LittleEndianCursor inner(signedData);
        if (!inner.readLengthPrefixed(certificate) || !inner.readU32(entry.parentAlgorithm))
            return false;
        entry.signedData = Copy(signedData);
        entry.certificate = Copy(certificate);
        entry.signature = Copy(signature);
        out.append(entry);
        return true;
    });
}

bool ReadSignedData(QByteArrayView bytes, bool v3, SchemeSigner &signer)
{
    LittleEndianCursor cursor(bytes);
    QByteArrayView digests, certificates, attributes;
    if (!cursor.readLengthPrefixed(digests) || !cursor.readLengthPrefixed(certificates))
        return false;
    if (v3 && (!ReadI32(cursor, signer.signedMinSdk) || !ReadI32(cursor, signer.signedMaxSdk)))
        return false;
    if (!cursor.readLengthPrefixed(attributes) || !ReadAlgorithmValues(digests, signer.digests))
        return false;
    const bool certificatesRead =
        ForEachElement(certificates, MaxListEntries, [&signer](QByteArrayView element) {
            signer.certificates.append(Copy(element));
            return true;
        });
    if (!certificatesRead)
        return false;
    bool lineageSeen = false;
    return ForEachElement(
        attributes, MaxListEntries, [&signer, &lineageSeen, v3](QByteArrayView element) {
            LittleEndianCursor attribute(element);
            quint32 id = 0;
            QByteArrayView value;
            if (!attribute.readU32(id) || !attribute.readBytes(attribute.remaining(), value))
                return false;
            if (!v3 && id == StrippingProtectionId) {
                quint32 scheme = 0;
                if (signer.requiredScheme || !LittleEndianCursor(value).readU32(scheme))
                    return false;
                signer.requiredScheme = scheme;
            } else if (v3 && id == ProofOfRotationId) {
                if (lineageSeen || !ReadLineage(value, signer))
                    return false;
                lineageSeen = true;
            } else if (v3 && id == RotationMinSdkId) {
                qint32 level = 0;
                LittleEndianCursor number(value);
                if (signer.rotationMinSdk || !ReadI32(number, level))
                    return false;
                signer.rotationMinSdk = level;
            } else if (v3 && id == DevReleaseId) {
                signer.targetsDevRelease = true;
            }
            return true;
        });
}

bool ReadSigner(QByteArrayView bytes, bool v3, SchemeSigner &signer)
{
    LittleEndianCursor cursor(bytes);
    QByteArrayView signedData, signatures, publicKey;
    if (!cursor.readLengthPrefixed(signedData))
        return false;
    if (v3 && (!ReadI32(cursor, signer.minSdk) || !ReadI32(cursor, signer.maxSdk)))
        return false;
    if (!cursor.readLengthPrefixed(signatures) || !cursor.readLengthPrefixed(publicKey))
        return false;
    signer.signedData = Copy(signedData);
    signer.publicKey = Copy(publicKey);
    return ReadSignedData(signedData, v3, signer) &&
           ReadAlgorithmValues(signatures, signer.signatures);
}

// Why the scheme's value cannot be read, or nothing when its signers were appended.
std::optional<Failure> ReadSchemeSigners(QByteArrayView value, bool v3, SchemeBlock &scheme)
{
    LittleEndianCursor cursor(value);
    QByteArrayView signers;
    if (!cursor.readLengthPrefixed(signers))
        return Failure{FailureCode::SignedDataMalformed};
    // Told apart from a malformed list so that the reason is clear; the walk stops early.
    if (CountElements(signers, MaxSigners) > MaxSigners)
        return Failure{FailureCode::TooManySigners};
    const bool read = ForEachElement(signers, MaxSigners, [&scheme, v3](QByteArrayView bytes) {
        SchemeSigner signer;
        if (!ReadSigner(bytes, v3, signer))
            return false;
        scheme.signers.append(signer);
        return true;
    });
    if (!read)
        return Failure{FailureCode::SignedDataMalformed};
    return std::nullopt;
}

void ReadScheme(QByteArrayView value, bool v3, SchemeBlock &scheme)
{
    scheme.present = true;
    if (const auto error = ReadSchemeSigners(value, v3, scheme)) {
        scheme.signers.clear();
        scheme.error = *error;
    }
}

void KeepExtraPair(quint32 id, QByteArrayView value, QList<ExtraPair> &pairs)
{
    if (pairs.size() >= MaxExtraPairs)
        return;
    for (const ExtraPair &pair : std::as_const(pairs))
        if (pair.id == id)
            return;
    pairs.append({id, value.size() <= MaxExtraPairValue ? Copy(value) : QByteArray()});
}

} // namespace

SigningBlock ParseSigningBlock(QByteArrayView block)
{
    SigningBlock result;
    // A leading size, the pairs, a trailing size and the magic. Both sizes count everything
    // after the leading one; the trailing one is what found the block in the file.
    constexpr qsizetype Footer = 24;
    if (block.size() < 8 + Footer || block.last(16) != Magic) {
        result.error = {FailureCode::SigningBlockMalformed};
        return result;
    }
    const quint64 expected = quint64(block.size() - 8);
    quint64 leadingSize = 0, trailingSize = 0;
    LittleEndianCursor(block).readU64(leadingSize);
    LittleEndianCursor(block.last(Footer)).readU64(trailingSize);
    if (leadingSize != trailingSize) {
        result.error = {FailureCode::SigningBlockSizesDiffer};
        return result;
    }
    if (leadingSize != expected) {
        result.error = {FailureCode::SigningBlockMalformed};
        return result;
    }
    const QByteArrayView pairs = block.sliced(8, block.size() - 8 - Footer);
    LittleEndianCursor pairCursor(pairs);
    while (!pairCursor.atEnd()) {
        quint64 length = 0;
        QByteArrayView pair, value;
        quint32 id = 0;
        if (!pairCursor.readU64(length) || length < 4 || !pairCursor.readBytes(length, pair)) {
            result = SigningBlock();
            result.error = {FailureCode::SigningBlockMalformed};
            return result;
        }
        LittleEndianCursor pairFields(pair);
        pairFields.readU32(id);
        pairFields.readBytes(pairFields.remaining(), value);
        SchemeBlock *scheme = id == V2SchemeId    ? &result.v2
                              : id == V3SchemeId  ? &result.v3
                              : id == V31SchemeId ? &result.v31
                                                  : nullptr;
        if (!scheme)
            KeepExtraPair(id, value, result.extraPairs);
        else if (!scheme->present)
            ReadScheme(value, id != V2SchemeId, *scheme);
    }
    return result;
}
