#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>

enum class SchemeState
{
    Absent,
    Verified,
    Failed
};

struct SchemeResult
{
    SchemeState state = SchemeState::Absent;
    // Why it failed, in Chinese. Reasons about one scheme leave out its name ("内容摘要不符");
    // those that say all themselves ("证书无法解析") set `standsAlone`.
    QString reason;
    bool standsAlone = false;

    static SchemeResult verified() { return {SchemeState::Verified, {}, false}; }
    static SchemeResult failed(const QString &reason, bool standsAlone = false)
    {
        return {SchemeState::Failed, reason, standsAlone};
    }
};

// What a certificate says about who signed; all texts ready to show.
struct CertificateFacts
{
    bool parsed = false; // nothing else is filled in unless the DER parsed
    QString subject;
    QString issuer;
    QString serial;
    QString validity;
    QDateTime notBefore; // UTC; invalid when the certificate's time does not read
    QDateTime notAfter;
    QString publicKey;
    QString md5;
    QString sha1;
    QString sha256;
    QString signatureMd5;
};

struct SignerFacts
{
    CertificateFacts certificate;
    // The SHA-256 of the certificates this signer rotated away from, oldest first.
    QStringList formerSha256;
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

struct SignatureReport
{
    // Why the package as a whole could not be checked (not a ZIP, a broken signing block).
    QString failure;
    SchemeResult v1;
    SchemeResult v2;
    SchemeResult v3;
    // The signers of the newest scheme present: v3, else v2, else v1.
    QList<SignerFacts> signers;
    // Only when the schemes present were not signed by one signer: each scheme's, oldest first.
    QList<SchemeSigners> signersByScheme;

    // Verified: signed, and every scheme present verified. Unsigned: no scheme at all, and no
    // fault found in looking for one. Failed otherwise.
    SignatureVerdict verdict() const
    {
        const auto states = {v1.state, v2.state, v3.state};
        const auto any = [&states](SchemeState state) {
            return std::find(states.begin(), states.end(), state) != states.end();
        };
        if (!failure.isEmpty() || any(SchemeState::Failed))
            return SignatureVerdict::Failed;
        return any(SchemeState::Verified) ? SignatureVerdict::Verified : SignatureVerdict::Unsigned;
    }
};
