#include "JarSignatureFiles.h"

#include "HostilePackages.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "signing/OpenSslHandles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace {

const char *const SignedDataOid = "1.2.840.113549.1.7.2";

QByteArray AlgorithmIdentifier(QByteArrayView oid)
{
    return Der(0x30, DerOid(oid) + Der(0x05, {}));
}

// A SignerInfo over `signatureFile` by `signer`'s certificate (as it is to stand), signed by its
// `sign` (SHA-256 with RSA), with its signed attributes.
QByteArray SignerInfo(const JarSigner &signer, const QByteArray &signatureFile)
{
    const X509Handle x509 = ParseCertificate(signer.certificate);
    if (!x509)
        return {};
    const QByteArray issuerAndSerial =
        Der(0x30, EncodeDer(X509_get_issuer_name(x509.get()), i2d_X509_NAME) +
                      EncodeDer(X509_get0_serialNumber(x509.get()), i2d_ASN1_INTEGER));
    const auto attribute = [](QByteArrayView type, const QByteArray &value) {
        return Der(0x30, DerOid(type) + Der(0x31, value));
    };
    const SignedAttributes attributes = signer.attributes;
    const QByteArray contentType =
        attribute("1.2.840.113549.1.9.3", DerOid(attributes == SignedAttributes::WrongContentType
                                                     ? SignedDataOid
                                                     : "1.2.840.113549.1.7.1"));
    const QByteArray digest =
        attribute("1.2.840.113549.1.9.4",
                  Der(0x04, QCryptographicHash::hash(signatureFile, QCryptographicHash::Sha256)));
    QByteArray signedAttributes;
    if (attributes == SignedAttributes::Good || attributes == SignedAttributes::WrongContentType)
        signedAttributes = contentType + digest;
    else if (attributes == SignedAttributes::NoContentType)
        signedAttributes = digest;
    else if (attributes == SignedAttributes::TwoDigests)
        signedAttributes = contentType + digest + digest;
    const QByteArray signature =
        signer.sign(signedAttributes.isEmpty() ? signatureFile : Der(0x31, signedAttributes));
    return Der(0x30, Der(0x02, "\x01") + issuerAndSerial +
                         AlgorithmIdentifier("2.16.840.1.101.3.4.2.1") +
                         (signedAttributes.isEmpty() ? QByteArray() : Der(0xa0, signedAttributes)) +
                         AlgorithmIdentifier("1.2.840.113549.1.1.1") + Der(0x04, signature));
}

// A PKCS #7 SignedData over detached content, as a JAR signature block holds it.
QByteArray SignatureBlock(const QByteArray &certificates, const QByteArray &signerInfos)
{
    const QByteArray signedData =
        Der(0x30, Der(0x02, "\x01") + Der(0x31, AlgorithmIdentifier("2.16.840.1.101.3.4.2.1")) +
                      Der(0x30, DerOid("1.2.840.113549.1.7.1")) + Der(0xa0, certificates) +
                      Der(0x31, signerInfos));
    return Der(0x30, DerOid(SignedDataOid) + Der(0xa0, signedData));
}

QByteArray Base64Of(QCryptographicHash::Algorithm algorithm, QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, algorithm).toBase64();
}

} // namespace

QByteArray Der(quint8 tag, const QByteArray &contents)
{
    QByteArray length;
    for (qsizetype left = contents.size(); left > 0; left >>= 8)
        length.prepend(char(left & 0xff));
    if (contents.size() < 0x80)
        length = QByteArray(1, char(contents.size()));
    else
        length.prepend(char(0x80 | length.size()));
    return char(tag) + length + contents;
}

QByteArray DerOid(QByteArrayView dotted)
{
    QList<quint64> arcs;
    for (const QByteArray &arc : dotted.toByteArray().split('.'))
        arcs.append(arc.toULongLong());
    QByteArray body;
    const auto put = [&body](quint64 value) {
        QByteArray octets(1, char(value & 0x7f));
        while (value >>= 7)
            octets.prepend(char(0x80 | (value & 0x7f)));
        body += octets;
    };
    put(arcs[0] * 40 + arcs[1]);
    for (qsizetype i = 2; i < arcs.size(); ++i)
        put(arcs[i]);
    return Der(0x06, body);
}

QStringList WriteJarFiles(const QString &package, const QString &folder,
                          const JarSignature &signature)
{
    const SafeFile file(QFile::encodeName(package));
    const ZipArchive archive(file);
    const auto algorithm =
        signature.sha384 ? QCryptographicHash::Sha384 : QCryptographicHash::Sha256;
    const QByteArray digestName = signature.sha384 ? "SHA-384" : "SHA-256";
    const QByteArray main = "Manifest-Version: 1.0\r\nCreated-By: Pelmora tests\r\n\r\n";
    QByteArray manifest = main;
    QList<std::pair<QByteArray, QByteArray>> sections;
    for (const QByteArray &entry : archive.entryNames()) {
        if (entry.startsWith("META-INF/"))
            continue;
        const auto bytes = archive.readEntry(entry, 1 << 20);
        if (!bytes)
            return {};
        QByteArray section = "Name: " + entry + "\r\n" + digestName +
                             "-Digest: " + Base64Of(algorithm, *bytes) + "\r\n";
        if (signature.wrongStrongerDigest)
            section += "SHA-384-Digest: " +
                       Base64Of(QCryptographicHash::Sha384,
                                entry == "classes.dex" ? *bytes + "x" : *bytes) +
                       "\r\n";
        section += "\r\n";
        sections.append({entry, section});
        manifest += section;
        if (signature.sectionTwice && entry == "classes.dex")
            manifest += section;
    }
    QByteArray signatureFile =
        "Signature-Version: 1.0\r\nCreated-By: Pelmora tests\r\n" + digestName +
        "-Digest-Manifest: " + Base64Of(algorithm, manifest) + "\r\n" + digestName +
        "-Digest-Manifest-Main-Attributes: " +
        Base64Of(algorithm, signature.wrongMainAttributes ? main + "x" : main) + "\r\n\r\n";
    for (const auto &[entry, section] : std::as_const(sections))
        signatureFile += "Name: " + entry + "\r\n" + digestName +
                         "-Digest: " + Base64Of(algorithm, section) + "\r\n\r\n";

    QByteArray certificates, signerInfos;
    for (const JarSigner &signer : signature.signers) {
        if (signer.certificate.isEmpty())
            return {};
        certificates += signer.certificate;
        signerInfos += SignerInfo(signer, signatureFile);
    }
    const QStringList names = {QStringLiteral("META-INF/MANIFEST.MF"),
                               QStringLiteral("META-INF/CERT.SF"),
                               QStringLiteral("META-INF/CERT.RSA")};
    const QByteArray contents[] = {manifest, signatureFile,
                                   SignatureBlock(certificates, signerInfos)};
    QDir(folder).mkpath(QStringLiteral("META-INF"));
    for (qsizetype i = 0; i < names.size(); ++i) {
        QFile out(QDir(folder).filePath(names[i]));
        if (!out.open(QIODevice::WriteOnly) || out.write(contents[i]) != contents[i].size())
            return {};
    }
    return names;
}

JarSigner SignerWithKey(const QString &key, const QString &certificate, SignedAttributes attributes)
{
    return {CertificateDer(certificate),
            [key](const QByteArray &data) { return SignSha256(key, data); }, attributes};
}
