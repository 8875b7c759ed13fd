#pragma once

#include "ApiLevels.h"
#include "base/Failure.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>

enum class SchemeState
{
    Absent,
    Verified,
    Failed
};

// Whether a scheme's failure names what it is about itself (a stripped scheme, a certificate,
// the file), so that it is not put after the scheme's name.
inline bool NamesItsScheme(FailureCode code)
{
    switch (code) {
    case FailureCode::FileUnreadable:
    case FailureCode::CertificateUnparsable:
    case FailureCode::V3Stripped:
    case FailureCode::V2V3Stripped:
    case FailureCode::V31Failed:
        return true;
    default:
        return false;
    }
}

struct SchemeResult
{
    SchemeState state = SchemeState::Absent;
    // Why it failed. Most reasons are about this scheme alone and leave out its name (a content
    // digest that does not match); a few name what they are about themselves (a stripped
    // scheme), and details/ knows which by the code.
    Failure reason;

    static SchemeResult verified() { return {SchemeState::Verified, {}}; }
    static SchemeResult failed(const Failure &reason) { return {SchemeState::Failed, reason}; }
};

// What a certificate says about who signed; details/ words the validity and the key.
struct CertificateFacts
{
    bool parsed = false; // nothing else is filled in unless the DER parsed
    QString subject;
    QString issuer;
    QString serial;
    QDateTime notBefore; // UTC; invalid when the certificate's time does not read
    QDateTime notAfter;
    // The public key: "RSA", "EC", "DSA" or OpenSSL's short name, and its size; no size when
    // the key does not read.
    QString keyAlgorithm;
    std::optional<int> keyBits;
    QString md5;
    QString sha1;
    QString sha256;
    QString signatureMd5;
};

// The platforms a v3 or v3.1 signer signs for, as it says.
struct PlatformRange
{
    int minSdk = 0;
    int maxSdk = 0; // ApiLevel::Newest: through the newest
    // The minimum names the release before the development release the signer is for.
    bool devRelease = false;
};

// What a v3 lineage lets a certificate the signer rotated away from still do, as apksig's
// SigningCertificateLineage and Android's SigningDetails name the flags.
inline constexpr quint32 InstalledDataCapability = 1; // its installed app may be updated
inline constexpr quint32 RollbackCapability = 8;      // it may sign an update again

struct SignerFacts
{
    CertificateFacts certificate;
    // The SHA-256 of the certificates this signer rotated away from, oldest first, and the
    // capabilities the lineage grants each of them, in the same order.
    QStringList formerSha256;
    QList<quint32> formerCapabilities;
    std::optional<PlatformRange> platforms; // v3 and v3.1 signers only
};

// The signers of one scheme, named "v1", "v2" or "v3".
struct SchemeSigners
{
    QString scheme;
    QList<SignerFacts> signers;
};

enum class SignatureVerdict
{
    Verified,
    Unsigned,
    Failed
};

// Whether every Android version from the package's minimum SDK through the newest accepts its
// signatures, and each scheme's own result.
struct SignatureReport
{
    // Why the package as a whole could not be checked (not a ZIP, a broken signing block), or
    // why its schemes do not hold together (signed by different signers).
    Failure failure;
    // Each scheme's own result; v3 covers v3.1 too.
    SchemeResult v1;
    SchemeResult v2;
    SchemeResult v3;
    // Which schemes the platforms in the package's range verify it with, so which decide the
    // verdict: v1 below API 24 or without a v2/v3 signature, v2 below API 28 or without v3.
    // A scheme present that decides nothing is still checked and shown.
    bool v1Decides = true;
    bool v2Decides = true;
    bool v3Decides = true;
    // What platforms in the range need that the package lacks, e.g. a JAR signature below 24.
    Failure platformFailure;
    // The signers of the newest scheme present: v3 (and v3.1, by platform), else v2, else v1.
    QList<SignerFacts> signers;
    // Only when the schemes that decide were not signed by one signer: each one's, oldest first.
    QList<SchemeSigners> signersByScheme;

    // Verified: signed, and every scheme that decides verified. Unsigned: no scheme at all, and
    // no fault found in looking for one. Failed otherwise.
    SignatureVerdict verdict() const
    {
        if (failure.failed() || platformFailure.failed())
            return SignatureVerdict::Failed;
        const std::pair<const SchemeResult &, bool> schemes[] = {
            {v1, v1Decides}, {v2, v2Decides}, {v3, v3Decides}};
        bool present = false;
        for (const auto &[result, decides] : schemes) {
            if (decides && result.state == SchemeState::Failed)
                return SignatureVerdict::Failed;
            present = present || result.state != SchemeState::Absent;
        }
        return present ? SignatureVerdict::Verified : SignatureVerdict::Unsigned;
    }

    // The signers the newest platform verifies the package with, the ones apksigner names: of
    // v3 signers the one whose range reaches highest (the later listed on a tie, so v3.1 over
    // v3), else all of them.
    QList<SignerFacts> newestPlatformSigners() const
    {
        const SignerFacts *newest = nullptr;
        for (const SignerFacts &signer : signers)
            if (signer.platforms &&
                (!newest || signer.platforms->maxSdk >= newest->platforms->maxSdk))
                newest = &signer;
        return newest ? QList<SignerFacts>{*newest} : signers;
    }
};
