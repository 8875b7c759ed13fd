#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// JAR signatures written byte by byte, for the rows that check them as Android reads them.

// A DER element of `tag` around `contents`.
QByteArray Der(quint8 tag, const QByteArray &contents);
// A DER object identifier from its dotted form.
QByteArray DerOid(QByteArrayView dotted);

// The signed attributes of a SignerInfo.
enum class SignedAttributes
{
    None,
    Good,             // content type id-data and the .SF's message digest
    NoContentType,    // the message digest alone
    WrongContentType, // content type signedData
    TwoDigests        // the message digest twice, as two attributes
};

// One signer of a JAR signature block.
struct JarSigner
{
    QByteArray certificate;                             // DER, as it is to stand
    std::function<QByteArray(const QByteArray &)> sign; // SHA-256 with RSA
    SignedAttributes attributes = SignedAttributes::None;
};

// A package's JAR signature as WriteJarFiles writes it, and where it is wrong.
struct JarSignature
{
    QList<JarSigner> signers; // in the signature block's order
    bool sha384 = false;      // MANIFEST.MF and the .SF naming SHA-384 digests only
    // A wrong -Digest-Manifest-Main-Attributes beside a right manifest digest.
    bool wrongMainAttributes = false;
    // A wrong SHA-384-Digest for classes.dex beside its right SHA-256-Digest.
    bool wrongStrongerDigest = false;
    bool sectionTwice = false; // the manifest naming classes.dex in two sections
};

// Writes META-INF/MANIFEST.MF, CERT.SF and CERT.RSA for the entries of `package` into `folder`
// as `signature` says. Returns their names relative to `folder`, none on failure.
QStringList WriteJarFiles(const QString &package, const QString &folder,
                          const JarSignature &signature);

// A signer with the private key in the PKCS #8 DER file `key` and the certificate in the PEM
// file `certificate`, as it stands.
JarSigner SignerWithKey(const QString &key, const QString &certificate,
                        SignedAttributes attributes = SignedAttributes::None);
