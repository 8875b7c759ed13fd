#include "HostilePackages.h"

#include "LittleEndian.h"
#include "signing/OpenSslHandles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <openssl/pem.h>

namespace {

constexpr qsizetype EndSize = 22;

qsizetype DirectoryOffset(const QByteArray &package)
{
    return Get<quint32>(package, package.size() - EndSize + 16);
}

// The central directory's records, each whole.
QList<QByteArray> Records(const QByteArray &package)
{
    QList<QByteArray> records;
    const qsizetype end = package.size() - EndSize;
    for (qsizetype at = DirectoryOffset(package); at < end;) {
        const qsizetype size = 46 + Get<quint16>(package, at + 28) +
                               Get<quint16>(package, at + 30) + Get<quint16>(package, at + 32);
        records.append(package.mid(at, size));
        at += size;
    }
    return records;
}

QByteArray RecordName(const QByteArray &record)
{
    return record.mid(46, Get<quint16>(record, 28));
}

// The package's entries, then `records` as its central directory and an end record for them.
QByteArray WithDirectory(const QByteArray &package, const QList<QByteArray> &records,
                         quint16 commentSize = 0)
{
    const qsizetype directoryOffset = DirectoryOffset(package);
    QByteArray result = package.first(directoryOffset);
    for (const QByteArray &record : records)
        result += record;
    QByteArray end = package.last(EndSize);
    Put<quint16>(end, 8, quint16(records.size()));
    Put<quint16>(end, 10, quint16(records.size()));
    Put<quint32>(end, 12, quint32(result.size() - directoryOffset));
    Put<quint16>(end, 20, commentSize);
    return result + end;
}

QByteArray Base64Sha1(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toBase64();
}

const QStringList JarSignatureNames = {QStringLiteral("META-INF/MANIFEST.MF"),
                                       QStringLiteral("META-INF/CERT.SF"),
                                       QStringLiteral("META-INF/CERT.RSA")};

// Writes the manifest and the signature file under `directory` and signs the latter into the
// signature block with `openssl` (SHA-1 with RSA, which every Android version verifies), or
// writes junk there when `key` is empty. Returns the three names, or nothing on failure.
QStringList WriteJarSignature(const QString &directory, const QString &openssl, const QString &key,
                              const QString &certificate, const QByteArray &manifest,
                              const QByteArray &signature)
{
    const QDir root(directory);
    root.mkpath(QStringLiteral("META-INF"));
    QList<std::pair<QString, QByteArray>> files = {{JarSignatureNames[0], manifest},
                                                   {JarSignatureNames[1], signature}};
    if (key.isEmpty())
        files.append({JarSignatureNames[2], QByteArray(1024, 'j')});
    for (const auto &[name, bytes] : std::as_const(files)) {
        QFile file(root.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
    }
    if (key.isEmpty())
        return JarSignatureNames;
    QProcess sign;
    sign.start(openssl,
               {QStringLiteral("cms"), QStringLiteral("-sign"), QStringLiteral("-binary"),
                QStringLiteral("-noattr"), QStringLiteral("-nosmimecap"), QStringLiteral("-md"),
                QStringLiteral("sha1"), QStringLiteral("-outform"), QStringLiteral("DER"),
                QStringLiteral("-signer"), certificate, QStringLiteral("-inkey"), key,
                QStringLiteral("-in"), root.filePath(JarSignatureNames[1]), QStringLiteral("-out"),
                root.filePath(JarSignatureNames[2])});
    if (!sign.waitForFinished(-1) || sign.exitStatus() != QProcess::NormalExit ||
        sign.exitCode() != 0)
        return {};
    return JarSignatureNames;
}

} // namespace

QByteArray WithSecondArchive(const QByteArray &signedPackage, const QByteArray &other)
{
    const qsizetype signedEntries = DirectoryOffset(signedPackage);
    const qsizetype otherEntries = DirectoryOffset(other);
    // The other archive's entries move behind the signed ones, and its records with them.
    QList<QByteArray> otherRecords = Records(other);
    for (QByteArray &record : otherRecords)
        Put<quint32>(record, 42, Get<quint32>(record, 42) + quint32(signedEntries));
    QByteArray otherDirectory = WithDirectory(other, otherRecords).sliced(otherEntries);

    QByteArray result = signedPackage.first(signedEntries) + other.first(otherEntries);
    const qsizetype signedDirectory = result.size();
    QByteArray signedTail = signedPackage.sliced(signedEntries);
    Put<quint32>(signedTail, signedTail.size() - EndSize + 16, quint32(signedDirectory));
    Put<quint16>(signedTail, signedTail.size() - 2, quint16(otherDirectory.size()));
    result += signedTail;
    Put<quint32>(otherDirectory, otherDirectory.size() - EndSize + 16, quint32(result.size()));
    return result + otherDirectory;
}

QByteArray WithAliases(const QByteArray &package,
                       const std::function<bool(const QByteArray &)> &aliased, int copies)
{
    QList<QByteArray> records = Records(package);
    const QList<QByteArray> originals = records;
    for (const QByteArray &record : originals) {
        const QByteArray name = RecordName(record);
        if (!aliased(name))
            continue;
        const qsizetype dot = name.lastIndexOf('.');
        for (int copy = 1; copy <= copies; ++copy) {
            const QByteArray alias = name.first(dot) + QByteArray::number(copy) + name.sliced(dot);
            QByteArray aliased = record;
            aliased.replace(46, name.size(), alias);
            Put<quint16>(aliased, 28, quint16(alias.size()));
            records.append(aliased);
        }
    }
    return WithDirectory(package, records);
}

QByteArray BlockPair(quint32 id, const QByteArray &value)
{
    return Bytes<quint64>(quint64(value.size()) + 4) + Bytes<quint32>(id) + value;
}

QByteArray WithBlockPairs(const QByteArray &package,
                          const std::function<QByteArray(quint32, const QByteArray &)> &rewrite)
{
    const qsizetype directory = DirectoryOffset(package);
    const qsizetype blockStart = directory - qsizetype(Get<quint64>(package, directory - 24)) - 8;
    QByteArray pairs;
    for (qsizetype at = blockStart + 8; at < directory - 24;) {
        const qsizetype length = qsizetype(Get<quint64>(package, at));
        pairs += rewrite(Get<quint32>(package, at + 8), package.mid(at + 12, length - 4));
        at += 8 + length;
    }
    const QByteArray size = Bytes<quint64>(quint64(pairs.size()) + 24);
    QByteArray result = package.first(blockStart) + size + pairs + size +
                        QByteArray("APK Sig Block 42") + package.sliced(directory);
    Put<quint32>(result, result.size() - EndSize + 16,
                 quint32(directory + result.size() - package.size()));
    return result;
}

QStringList WriteRepeatedSectionSignature(const QString &directory, const QString &openssl,
                                          const QString &key, const QString &certificate,
                                          const QByteArray &entryName, const QByteArray &entryBytes,
                                          qint64 sectionSize, int repeats)
{
    QByteArray section =
        "Name: " + entryName + "\r\nSHA1-Digest: " + Base64Sha1(entryBytes) + "\r\nX-Padding: ";
    const QByteArray continuation = " " + QByteArray(69, 'p') + "\r\n";
    section += "p\r\n";
    while (section.size() < sectionSize)
        section += continuation;
    section += "\r\n";
    const QByteArray manifest = "Manifest-Version: 1.0\r\n\r\n" + section;
    const QByteArray signature =
        "Signature-Version: 1.0\r\n\r\n" +
        ("Name: " + entryName + "\r\nSHA1-Digest: " + Base64Sha1(section) + "\r\n\r\n")
            .repeated(repeats);
    return WriteJarSignature(directory, openssl, key, certificate, manifest, signature);
}

QStringList WriteManifestBomb(const QString &directory, const QString &openssl, const QString &key,
                              const QString &certificate, qint64 manifestSize)
{
    const QByteArray section = "Name: a\r\n\r\n";
    const QByteArray manifest = "Manifest-Version: 1.0\r\n\r\n" +
                                section.repeated(qsizetype(manifestSize / section.size()));
    return WriteJarSignature(directory, openssl, key, certificate, manifest,
                             "Signature-Version: 1.0\r\n\r\n");
}

namespace {

constexpr quint32 ProofOfRotation = 0x3ba06f8c;
constexpr quint32 RsaPkcs1Sha256 = 0x0103;

// The length-prefixed field at `at`, moving `at` past it; empty when it does not fit.
QByteArray TakeField(const QByteArray &bytes, qsizetype &at)
{
    if (at + 4 > bytes.size())
        return {};
    const quint32 size = Get<quint32>(bytes, at);
    at += 4;
    const QByteArray field = bytes.mid(at, size);
    at += size;
    return field;
}

KeyHandle PrivateKey(const QString &path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    return KeyHandle(d2i_AutoPrivateKey(nullptr, &data, long(bytes.size())));
}

// The signature of `data` under signing block algorithm `algorithm` (PKCS #1 v1.5, ECDSA or
// DSA; SHA-512 for the ids that name it).
QByteArray Sign(EVP_PKEY *key, quint32 algorithm, const QByteArray &data)
{
    const bool sha512 = algorithm == 0x0104 || algorithm == 0x0202;
    std::unique_ptr<EVP_MD_CTX, OpenSslFree> context(EVP_MD_CTX_new());
    std::size_t size = 0;
    const auto *input = reinterpret_cast<const unsigned char *>(data.constData());
    if (!key ||
        EVP_DigestSignInit(context.get(), nullptr, sha512 ? EVP_sha512() : EVP_sha256(), nullptr,
                           key) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, input, std::size_t(data.size())) != 1)
        return {};
    QByteArray signature(qsizetype(size), Qt::Uninitialized);
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &size,
                       input, std::size_t(data.size())) != 1)
        return {};
    signature.resize(qsizetype(size));
    return signature;
}

// A signer of `parts` and `certificate` whose signature under each algorithm `sign` makes.
QByteArray CraftSigner(const SignerParts &parts, const QByteArray &certificate,
                       const std::function<QByteArray(quint32, const QByteArray &)> &sign)
{
    const X509Handle x509 = ParseCertificate(certificate);
    QByteArray publicKeyBytes = parts.publicKey;
    if (publicKeyBytes.isEmpty() && x509)
        publicKeyBytes = EncodeDer(X509_get0_pubkey(x509.get()), i2d_PUBKEY);
    const QByteArray platforms =
        parts.v3 ? Bytes(parts.minSdk) + Bytes(parts.maxSdk) : QByteArray();
    const QByteArray signedData = LengthPrefixed(parts.digests) +
                                  LengthPrefixed(LengthPrefixed(certificate)) + platforms +
                                  LengthPrefixed(parts.attributes) + parts.tail;
    QByteArray signatures;
    for (quint32 algorithm : parts.algorithms) {
        const QByteArray signature = sign(algorithm, signedData);
        if (signature.isEmpty() || publicKeyBytes.isEmpty())
            return {};
        signatures += LengthPrefixed(Bytes(algorithm) + LengthPrefixed(signature));
    }
    return LengthPrefixed(LengthPrefixed(signedData) + platforms + LengthPrefixed(signatures) +
                          LengthPrefixed(publicKeyBytes));
}

} // namespace

QByteArray LengthPrefixed(const QByteArray &bytes)
{
    return Bytes(quint32(bytes.size())) + bytes;
}

SignerParts FirstSignerParts(const QByteArray &value, bool v3)
{
    SignerParts parts;
    parts.v3 = v3;
    qsizetype at = 0;
    const QByteArray signers = TakeField(value, at);
    at = 0;
    const QByteArray signer = TakeField(signers, at);
    at = 0;
    const QByteArray signedData = TakeField(signer, at);
    if (v3 && at + 8 <= signer.size()) {
        parts.minSdk = Get<qint32>(signer, at);
        parts.maxSdk = Get<qint32>(signer, at + 4);
    }
    at = 0;
    parts.digests = TakeField(signedData, at);
    TakeField(signedData, at); // the certificates
    at += v3 ? 8 : 0;
    parts.attributes = TakeField(signedData, at);
    parts.tail = signedData.mid(at);
    return parts;
}

QByteArray SchemeValue(const QList<QByteArray> &signers)
{
    return LengthPrefixed(signers.join());
}

QByteArray SignSha256(const QString &key, const QByteArray &data)
{
    return Sign(PrivateKey(key).get(), RsaPkcs1Sha256, data);
}

QByteArray CertificateDer(const QString &path)
{
    QFile file(path);
    const QByteArray pem = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    std::unique_ptr<BIO, OpenSslFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    const X509Handle certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    return certificate ? EncodeDer(certificate.get(), i2d_X509) : QByteArray();
}

QByteArray CraftSigner(const SignerParts &parts, const QString &key, const QByteArray &certificate)
{
    const auto privateKey = PrivateKey(key);
    return CraftSigner(parts, certificate, [&](quint32 algorithm, const QByteArray &data) {
        return Sign(privateKey.get(), algorithm, data);
    });
}

QByteArray CraftUnkeyedSigner(const SignerParts &parts, const QByteArray &certificate)
{
    const X509Handle x509 = ParseCertificate(certificate);
    const int size = x509 ? EVP_PKEY_get_size(X509_get0_pubkey(x509.get())) : 0;
    return CraftSigner(parts, certificate, [size](quint32 algorithm, const QByteArray &data) {
        return algorithm == RsaPkcs1Sha256 && size > 0 ? UnkeyedSignature(data, size)
                                                       : QByteArray();
    });
}

QByteArray UnkeyedSignature(const QByteArray &data, qsizetype size)
{
    // RFC 8017, 9.2: 00 01 FF… 00, then the DER DigestInfo of SHA-256 and the digest.
    const QByteArray digestInfo = QByteArray::fromHex("3031300d060960864801650304020105000420") +
                                  QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    if (size < digestInfo.size() + 11)
        return {};
    return QByteArray("\x00\x01", 2) + QByteArray(size - digestInfo.size() - 3, char(0xff)) + '\0' +
           digestInfo;
}

QByteArray SignedAnew(X509 *certificate, const QString &key)
{
    const auto privateKey = PrivateKey(key);
    return privateKey && X509_sign(certificate, privateKey.get(), EVP_sha256()) > 0
               ? EncodeDer(static_cast<const X509 *>(certificate), i2d_X509)
               : QByteArray();
}

QByteArray LineageAttribute(const QList<QByteArray> &certificates, const QString &key)
{
    const auto privateKey = PrivateKey(key);
    QByteArray nodes;
    for (qsizetype i = 0; i < certificates.size(); ++i) {
        const QByteArray signedData =
            LengthPrefixed(certificates[i]) + Bytes(i == 0 ? 0u : RsaPkcs1Sha256);
        const QByteArray signature =
            i == 0 ? QByteArray() : Sign(privateKey.get(), RsaPkcs1Sha256, signedData);
        const quint32 next = i + 1 < certificates.size() ? RsaPkcs1Sha256 : 0;
        nodes += LengthPrefixed(LengthPrefixed(signedData) + Bytes(0u) + Bytes(next) +
                                LengthPrefixed(signature));
    }
    return LengthPrefixed(Bytes(ProofOfRotation) + Bytes(1u) + nodes);
}

QList<std::pair<QString, QByteArray>> AliasedIcon(int levels, int configurations,
                                                  const QString &leafFile, const QByteArray &leaf)
{
    static const char *const Qualifiers[] = {
        "",       "-ldpi", "-mdpi", "-tvdpi", "-hdpi",     "-xhdpi", "-xxhdpi", "-xxxhdpi",
        "-nodpi", "-land", "-port", "-night", "-notnight", "-v21",   "-v23",    "-v26",
        "-v28",   "-en",   "-fr",   "-de",    "-es",       "-it",    "-ja",     "-ko",
        "-ru",    "-pt",   "-ar",   "-small", "-large"};
    QByteArray aliases = "<resources>";
    for (int level = 0; level < levels; ++level)
        aliases += "<item type='drawable' name='l" + QByteArray::number(level) + "'>@drawable/" +
                   (level + 1 < levels ? "l" + QByteArray::number(level + 1) : "leaf") + "</item>";
    if (leafFile.isEmpty())
        aliases += "<drawable name='leaf'>" + leaf + "</drawable>";
    aliases += "</resources>";
    QList<std::pair<QString, QByteArray>> resources;
    if (!leafFile.isEmpty())
        resources.append({leafFile, leaf});
    for (int configuration = 0; configuration < std::min(configurations, 29); ++configuration)
        resources.append(
            {QStringLiteral("values%1/aliases.xml").arg(QLatin1String(Qualifiers[configuration])),
             aliases});
    return resources;
}

QByteArray WithLocaleCopies(const QByteArray &table, int copies)
{
    constexpr quint16 PackageChunk = 0x0200;
    constexpr quint16 TypeChunk = 0x0201;
    // In a type chunk: its header's 20 bytes, then the configuration's size and its MCC and MNC.
    constexpr qsizetype LanguageAt = 28;
    const auto chunkSize = [&](qsizetype at) { return qsizetype(Get<quint32>(table, at + 4)); };
    constexpr qsizetype TableHeaderSize = 12;
    if (table.size() < TableHeaderSize)
        return {};
    for (qsizetype package = Get<quint16>(table, 2); package < table.size();
         package += chunkSize(package)) {
        if (Get<quint16>(table, package) != PackageChunk)
            continue;
        const qsizetype end = package + chunkSize(package);
        for (qsizetype chunk = package + Get<quint16>(table, package + 2); chunk < end;
             chunk += chunkSize(chunk)) {
            if (Get<quint16>(table, chunk) != TypeChunk ||
                Get<quint16>(table, chunk + LanguageAt) == 0)
                continue;
            const QByteArray original = table.mid(chunk, chunkSize(chunk));
            QByteArray copied;
            for (int i = 0; i < copies; ++i) {
                QByteArray copy = original;
                const int language = i / (26 * 26);
                const int region = i % (26 * 26);
                copy[LanguageAt] = char('a' + language / 26 % 26);
                copy[LanguageAt + 1] = char('a' + language % 26);
                copy[LanguageAt + 2] = char('A' + region / 26);
                copy[LanguageAt + 3] = char('A' + region % 26);
                copied += copy;
            }
            QByteArray result = table;
            result.insert(chunk + original.size(), copied);
            Put<quint32>(result, package + 4, quint32(end - package + copied.size()));
            Put<quint32>(result, 4, quint32(result.size()));
            return result;
        }
    }
    return {};
}
