#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The SubjectPublicKeyInfo of the DER certificate `der` as Android compares it with a v2 or v3
// signer's public key: the bytes as they stand in the certificate, except that an RSA modulus
// encoded as a negative number is read as the unsigned number its bytes spell, as Android's
// BoringSSL and apksigner read it, and so gains the leading zero byte DER gives it. Empty when
// the certificate's outer structure cannot be walked.
QByteArray CertificatePublicKey(QByteArrayView der);
