#pragma once

#include "SignatureReport.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A certificate's SHA-256 as people copy it: 64 hex digits, with or without colons, in either
// case. The 32 bytes, or empty when `text` is no such digest.
QByteArray ParseSha256Fingerprint(const QString &text);

// Whether the newest platform verifies the package with a signer whose certificate SHA-256 is
// one of `expected` (32 bytes each): of v3 and v3.1 signers the one whose range reaches highest,
// of v1 or v2 signers any.
bool SignedByExpected(const SignatureReport &report, const QList<QByteArray> &expected);
