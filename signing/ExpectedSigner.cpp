#include "ExpectedSigner.h"

#include <QRegularExpression>

QByteArray ParseSha256Fingerprint(const QString &text)
{
    QString hex = text;
    hex.remove(u':');
    static const QRegularExpression HexDigits(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    return HexDigits.match(hex).hasMatch() ? QByteArray::fromHex(hex.toLatin1()) : QByteArray();
}

bool SignedByExpected(const SignatureReport &report, const QList<QByteArray> &expected)
{
    for (const SignerFacts &signer : report.newestPlatformSigners())
        if (expected.contains(ParseSha256Fingerprint(signer.certificate.sha256)))
            return true;
    return false;
}
