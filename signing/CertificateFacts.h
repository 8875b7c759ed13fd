#pragma once

#include "SignatureReport.h"

#include <QByteArrayView>

// Reads a DER certificate's names, serial, validity and key, and digests its bytes.
CertificateFacts ReadCertificateFacts(QByteArrayView der);

// A certificate digest as upper-case hex pairs joined by colons.
QString ColonHex(const QByteArray &digest);
// The same, as `apksigner verify --print-certs` and the report write it: "AB:CD:…" becomes
// "abcd…".
QString PlainHex(const QString &colonHex);
