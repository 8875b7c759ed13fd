#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The SubjectPublicKeyInfo of the DER certificate `der` as Android and apksigner compare it with
// a v2 or v3 signer's public key: as the platform's X.509 code encodes the key it read from the
// certificate. For RSA that is BoringSSL's encoding: NULL parameters (also when the certificate
// leaves them out), the modulus read as the unsigned number its bytes spell (also when they
// spell a negative one), both numbers in DER's shortest form. Other keys as they stand. Empty
// when the certificate's outer structure cannot be walked or BoringSSL would not read its RSA
// key (other parameters, a negative exponent).
QByteArray CertificatePublicKey(QByteArrayView der);
