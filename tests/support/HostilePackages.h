#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <openssl/x509.h>
#include <utility>

// Hostile packages made from real ones, as an attacker would make them, for the signature
// tests and the benchmark. Each works on a package's bytes whose end record has no comment.

// `signedPackage` and `other` in one file that reads two ways: the signed entries, the other
// entries, the signed central directory and its end record, whose comment runs over the other
// central directory and end record to the end of the file.
QByteArray WithSecondArchive(const QByteArray &signedPackage, const QByteArray &other);

// Every central directory record whose name `aliased` picks followed by `copies` more records
// pointing at the same local entry, the n-th named with n before the extension ("CERT7.SF").
QByteArray WithAliases(const QByteArray &package,
                       const std::function<bool(const QByteArray &name)> &aliased, int copies);

// The package with its APK Signing Block's pairs replaced by what `rewrite` makes of each
// (its id and value, the bytes of zero or more whole pairs in return).
QByteArray
WithBlockPairs(const QByteArray &package,
               const std::function<QByteArray(quint32 id, const QByteArray &value)> &rewrite);

// One pair of a signing block.
QByteArray BlockPair(quint32 id, const QByteArray &value);

// `bytes` after their length in four bytes, as signing blocks hold their fields.
QByteArray LengthPrefixed(const QByteArray &bytes);

// Writes META-INF/MANIFEST.MF, META-INF/CERT.SF and META-INF/CERT.RSA under `directory`: a
// manifest whose only section, for `entryName` holding `entryBytes`, is padded to about
// `sectionSize` bytes, and a signature file naming that section `repeats` times, signed by
// `openssl` with `key` and `certificate` (PEM) with SHA-1, which every Android version takes.
// Returns the three names relative to `directory`, or nothing when openssl fails.
QStringList WriteRepeatedSectionSignature(const QString &directory, const QString &openssl,
                                          const QString &key, const QString &certificate,
                                          const QByteArray &entryName, const QByteArray &entryBytes,
                                          qint64 sectionSize, int repeats);

// The same three files for a manifest of `manifestSize` bytes of sections of one short line,
// which deflate a thousandfold, beside a signature file with no sections. The signature block
// is signed as above, or junk when `key` is empty.
QStringList WriteManifestBomb(const QString &directory, const QString &openssl, const QString &key,
                              const QString &certificate, qint64 manifestSize);
// A v2 or v3 signer's parts, as read from a signed package or to be signed anew.
struct SignerParts
{
    QByteArray digests; // the signed digest list: length-prefixed (algorithm, digest) elements
    QList<quint32> algorithms = {0x0103}; // one signature over the signed data each, in order
    bool v3 = false;
    qint32 minSdk = 0; // v3: the platforms it signs for
    qint32 maxSdk = 0;
    QByteArray attributes; // length-prefixed (id, value) elements
    QByteArray tail;       // what the signed data holds after them (apksigner's v2: 4 zeros)
    // The signer's public key as it is to stand; empty: the certificate's, as OpenSSL encodes it.
    QByteArray publicKey;
};

// The parts of the first signer in a v2 (or, with `v3`, v3) value of a signing block.
SignerParts FirstSignerParts(const QByteArray &value, bool v3);

// One length-prefixed signer made of `parts` and signed with the private key in the PKCS #8
// DER file `key` and the certificate DER `certificate`; empty when OpenSSL cannot sign.
QByteArray CraftSigner(const SignerParts &parts, const QString &key, const QByteArray &certificate);

// The same signer with signatures no private key made, for a certificate whose RSA public
// exponent is 1: each (SHA-256 with RSA, PKCS #1 v1.5) the padded digest itself.
QByteArray CraftUnkeyedSigner(const SignerParts &parts, const QByteArray &certificate);

// A v2 or v3 value of a signing block that holds `signers`, each as CraftSigner makes them.
QByteArray SchemeValue(const QList<QByteArray> &signers);

// The RSA PKCS #1 v1.5 SHA-256 signature of `data` with the private key in the PKCS #8 DER
// file `key`; empty when OpenSSL cannot sign.
QByteArray SignSha256(const QString &key, const QByteArray &data);

// What an RSA key whose public exponent is 1 takes for the PKCS #1 v1.5 SHA-256 signature of
// `data` with a modulus of `size` bytes: the padded digest itself, which anyone can write.
QByteArray UnkeyedSignature(const QByteArray &data, qsizetype size);

// The DER of the certificate in the PEM file `path`.
QByteArray CertificateDer(const QString &path);

// The DER of `certificate`, changed as it may be, signed anew (SHA-256 with RSA) with the
// private key in the PKCS #8 DER file `key`; empty when OpenSSL cannot sign it.
QByteArray SignedAnew(X509 *certificate, const QString &key);

// A v3 proof-of-rotation attribute: `certificates` (DER) oldest first, each signed with the
// private key in the PKCS #8 DER file `key` (every certificate stands for that key here).
QByteArray LineageAttribute(const QList<QByteArray> &certificates, const QString &key);
// Resources (paths under res/ and bytes) for an icon "@drawable/l0" behind `levels` levels of
// aliases, each level defined in `configurations` configurations (1 to 29) and naming the next;
// the last names "@drawable/leaf": the file `leafFile` under res/ holding `leaf`, or, when
// `leafFile` is empty, `leaf` itself (a colour such as "#3366ff") in each of the configurations.
// Looking the icon up in every configuration multiplies: configurations to the power of levels.
QList<std::pair<QString, QByteArray>> AliasedIcon(int levels, int configurations,
                                                  const QString &leafFile, const QByteArray &leaf);

// `table` (a resources.arsc as aapt writes it) with its first type chunk for a locale copied
// `copies` times, each copy for another language and region, from aa-rAA on: a label translated
// into that many locales, over which aapt runs for many seconds.
QByteArray WithLocaleCopies(const QByteArray &table, int copies);
