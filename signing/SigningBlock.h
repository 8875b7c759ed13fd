#pragma once

#include "base/Failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

// The contents of an APK Signing Block, parsed from bytes already in memory and nothing else:
// the block is untrusted input, so this code has no file access and is what the fuzzer drives.

inline constexpr quint32 V2SchemeId = 0x7109871a;
inline constexpr quint32 V3SchemeId = 0xf05368c0;
inline constexpr quint32 V31SchemeId = 0x1b93ad61;
inline constexpr quint32 ProofOfRotationId = 0x3ba06f8c;
// Signed attributes that guard against a newer scheme's block being cut out: in a v2 signer,
// the id of a scheme that must be present (3 for v3); in a v3 signer, the SDK version from
// which a v3.1 block takes over, which must then be present.
inline constexpr quint32 StrippingProtectionId = 0xbeeff00d;
inline constexpr quint32 RotationMinSdkId = 0x559f8b02;
// In a v3.1 signer: its minimum SDK names the release before a development release it targets.
inline constexpr quint32 DevReleaseId = 0xc2a6b3ba;

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
    // v3 only: the SDK range outside and inside the signed data, as Android reads them (signed).
    qint32 minSdk = 0;
    qint32 maxSdk = 0;
    qint32 signedMinSdk = 0;
    qint32 signedMaxSdk = 0;
    QList<LineageNode> lineage;
    // A lineage of more than MaxLineageNodes certificates, left unread.
    bool lineageTooLong = false;
    // The guards above, as signed; nothing when the signer carries none.
    std::optional<quint32> requiredScheme;
    std::optional<qint32> rotationMinSdk;
    bool targetsDevRelease = false;
};

struct SchemeBlock
{
    bool present = false;
    Failure error; // set when the scheme's value is malformed; says why, without the scheme
    QList<SchemeSigner> signers;
};

// A pair the signature schemes do not read: padding, or a marker that a tool wrote outside
// what v2 and v3 sign (a store's channel name).
struct ExtraPair
{
    quint32 id = 0;
    QByteArray value;
};

struct SigningBlock
{
    Failure error; // set when the block itself is malformed; nothing else is then filled in
    // Each the first pair of its id, as Android finds them.
    SchemeBlock v2;
    SchemeBlock v3;
    SchemeBlock v31;
    // The first MaxExtraPairs other pairs, in order, each id once; values of more than
    // MaxExtraPairValue bytes (padding) keep only their id.
    QList<ExtraPair> extraPairs;
};

// Android accepts at most this many signers per scheme; more are refused before any is parsed.
inline constexpr int MaxSigners = 10;
inline constexpr int MaxExtraPairs = 64;
// Each certificate of a lineage is a key rotation, years apart: none comes near this many.
inline constexpr int MaxLineageNodes = 32;
inline constexpr qsizetype MaxExtraPairValue = 64 << 10;

// `block` runs from the block's leading size field through its "APK Sig Block 42" magic.
SigningBlock ParseSigningBlock(QByteArrayView block);
