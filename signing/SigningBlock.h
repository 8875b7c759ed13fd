#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The contents of an APK Signing Block, parsed from bytes already in memory and nothing else:
// the block is untrusted input, so this code has no file access and is what the fuzzer drives.

inline constexpr quint32 V2SchemeId = 0x7109871a;
inline constexpr quint32 V3SchemeId = 0xf05368c0;
inline constexpr quint32 V31SchemeId = 0x1b93ad61;
inline constexpr quint32 ProofOfRotationId = 0x3ba06f8c;

// A digest or a signature, tagged with the signature algorithm it belongs to.
struct AlgorithmValue
{
    quint32 algorithm = 0;
    QByteArray bytes;
};

// One step of a key rotation: the certificate, and the previous certificate's signature over
// `signedData` (empty for the oldest).
struct LineageNode
{
    QByteArray signedData;
    QByteArray certificate;
    quint32 parentAlgorithm = 0; // as signed in signedData
    quint32 flags = 0;
    quint32 childAlgorithm = 0; // what this key signs the next node with
    QByteArray signature;
};

struct SchemeSigner
{
    QByteArray signedData;
    QList<AlgorithmValue> digests;
    QList<QByteArray> certificates;
    QList<AlgorithmValue> signatures;
    QByteArray publicKey;
    // v3 only: the SDK range outside and inside the signed data.
    quint32 minSdk = 0;
    quint32 maxSdk = 0;
    quint32 signedMinSdk = 0;
    quint32 signedMaxSdk = 0;
    QList<LineageNode> lineage;
};

struct SchemeBlock
{
    bool present = false;
    QString error; // set when the scheme's value is malformed; says why, without the scheme
    QList<SchemeSigner> signers;
};

struct SigningBlock
{
    QString error; // set when the block itself is malformed; nothing else is then filled in
    SchemeBlock v2;
    SchemeBlock v3; // v3.1 signers follow the v3 ones
};

// Android accepts at most this many signers per scheme; more are refused before any is parsed.
inline constexpr int MaxSigners = 10;

// `block` runs from the block's leading size field through its "APK Sig Block 42" magic.
SigningBlock ParseSigningBlock(QByteArrayView block);
