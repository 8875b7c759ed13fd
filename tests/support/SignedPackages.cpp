#include "SignedPackages.h"

#include "HostilePackages.h"
#include "LittleEndian.h"
#include "apk/ReadChannel.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "details/DescribeSignatures.h"
#include "digest/FileDigests.h"
#include "digest/SafeFile.h"
#include "signing/ContentDigest.h"
#include "signing/OpenSslHandles.h"
#include "signing/PackageLayout.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <openssl/pem.h>

namespace {

// The first 16 hex digits of the SHA-256 of `text`, to name what was made from it.
QString ShortHash(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

// Held while keys are made, so that test programs run at once do not make the same key twice.
class KeptKeysLock
{
public:
    KeptKeysLock() : lock(QDir(QStringLiteral(SIGNING_KEY_FOLDER)).filePath(QStringLiteral("lock")))
    {
        QDir().mkpath(QStringLiteral(SIGNING_KEY_FOLDER));
        // Making a key may take long; a holder that died leaves its lock behind, and QLockFile
        // takes that one over.
        lock.setStaleLockTime(0);
        lock.lock();
    }

private:
    QLockFile lock;
};

} // namespace

QByteArray Block(const QByteArray &pairs, int trailingSizeOff)
{
    const quint64 size = quint64(pairs.size()) + 24;
    return Bytes<quint64>(size) + pairs + Bytes<quint64>(size + quint64(trailingSizeOff)) +
           "APK Sig Block 42";
}

QByteArray V2Block(const QByteArray &signers)
{
    return Block(BlockPair(V2PairId, LengthPrefixed(signers)));
}

Alteration AfterSigning(const std::function<QByteArray(const QByteArray &bytes)> &change)
{
    return {.afterSigning = [change](const QString &, const QByteArray &bytes) {
        return change(bytes);
    }};
}

void SignatureRulesTest::initTestCase()
{
    QVERIFY(packages.init());
    addKeys();
}

bool SignedPackages::init()
{
    if (!directory.isValid())
        return false;
    dexBytes.resize(64 << 10);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(dexBytes.data()), dexBytes.size() / 4);
    const QStringList rsa2048 = {QStringLiteral("-newkey"), QStringLiteral("rsa:2048")};
    if (!addKey(QStringLiteral("rsa"), rsa2048) || !addKey(QStringLiteral("next"), rsa2048))
        return false;
    const KeyFacts &rsa = keys[QStringLiteral("rsa")];
    const KeyFacts &next = keys[QStringLiteral("next")];
    const KeptKeysLock lock;
    lineage = QDir(QStringLiteral(SIGNING_KEY_FOLDER))
                  .filePath(QStringLiteral("lineage-") + ShortHash(rsa.sha256 + next.sha256));
    if (QFile::exists(lineage))
        return true;
    const QTemporaryDir scratch(
        QDir(QStringLiteral(SIGNING_KEY_FOLDER)).filePath(QStringLiteral("making-XXXXXX")));
    const QString made = scratch.filePath(QFileInfo(lineage).fileName());
    const ProgramRun rotate =
        RunProgram(QStringLiteral(SYSTEM_APKSIGNER),
                   {QStringLiteral("rotate"), QStringLiteral("--out"), made,
                    QStringLiteral("--old-signer"), QStringLiteral("--key"), rsa.key,
                    QStringLiteral("--cert"), rsa.certificate, QStringLiteral("--new-signer"),
                    QStringLiteral("--key"), next.key, QStringLiteral("--cert"), next.certificate});
    return rotate.exitCode == 0 && QFile::rename(made, lineage);
}

bool SignedPackages::addKey(const QString &name, const QStringList &keyOptions)
{
    // A folder for the name and the options, so that other options make another key; the files
    // keep the plain name, which apksigner names the JAR signature files after.
    const QDir kept(QStringLiteral(SIGNING_KEY_FOLDER));
    const QString folder = kept.filePath(name + u'-' + ShortHash(keyOptions.join(u' ')));
    const auto file = [&name](const QString &in, const char *suffix) {
        return QDir(in).filePath(name + QLatin1String(suffix));
    };
    const KeptKeysLock lock;
    if (!QFileInfo::exists(folder)) {
        QTemporaryDir scratch(kept.filePath(QStringLiteral("making-XXXXXX")));
        const QString openssl = QStringLiteral(SYSTEM_OPENSSL);
        RunProgram(openssl, QStringList{QStringLiteral("req"), QStringLiteral("-x509"),
                                        QStringLiteral("-utf8"), QStringLiteral("-nodes"),
                                        QStringLiteral("-days"), QStringLiteral("3650"),
                                        QStringLiteral("-subj"),
                                        QStringLiteral("/CN=Pelmora 测试 %1/O=签名").arg(name),
                                        QStringLiteral("-keyout"), file(scratch.path(), "-key.pem"),
                                        QStringLiteral("-out"), file(scratch.path(), ".pem")} +
                                keyOptions);
        const ProgramRun pkcs8 = RunProgram(
            openssl,
            {QStringLiteral("pkcs8"), QStringLiteral("-topk8"), QStringLiteral("-nocrypt"),
             QStringLiteral("-in"), file(scratch.path(), "-key.pem"), QStringLiteral("-outform"),
             QStringLiteral("DER"), QStringLiteral("-out"), file(scratch.path(), ".pk8")});
        // The folder is kept whole or not at all.
        if (pkcs8.exitCode != 0 || !QDir().rename(scratch.path(), folder))
            return false;
        scratch.setAutoRemove(false);
    }
    KeyFacts facts{file(folder, ".pk8"),    file(folder, ".pem"), {}, {}, {},
                   file(folder, "-key.pem")};
    readCertificateFacts(facts);
    keys.insert(name, facts);
    return QFileInfo::exists(facts.key) && !facts.sha256.isEmpty();
}

bool SignedPackages::addCertificate(const QString &name, const QByteArray &der, const QString &key)
{
    KeyFacts facts{key, directory.filePath(name + QStringLiteral(".pem")), {}, {}, {}, {}};
    const X509Handle certificate = ParseCertificate(der);
    std::unique_ptr<BIO, OpenSslFree> out(BIO_new_file(qPrintable(facts.certificate), "w"));
    if (!certificate || !out || PEM_write_bio_X509(out.get(), certificate.get()) != 1)
        return false;
    out.reset();
    readCertificateFacts(facts);
    keys.insert(name, facts);
    return CertificateDer(facts.certificate) == der && QFile::exists(facts.key) &&
           !facts.sha256.isEmpty();
}

// What openssl says of the certificate `facts` names.
void SignedPackages::readCertificateFacts(KeyFacts &facts)
{
    const QByteArray text =
        RunProgram(QStringLiteral(SYSTEM_OPENSSL),
                   {QStringLiteral("x509"), QStringLiteral("-in"), facts.certificate,
                    QStringLiteral("-noout"), QStringLiteral("-serial"), QStringLiteral("-subject"),
                    QStringLiteral("-nameopt"), QStringLiteral("RFC2253,-esc_msb"),
                    QStringLiteral("-fingerprint"), QStringLiteral("-sha256")})
            .out;
    for (const QByteArray &line : text.split('\n')) {
        const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        if (line.startsWith("serial="))
            facts.serial = value;
        else if (line.startsWith("subject="))
            facts.subject = value;
        else if (line.startsWith("sha256 Fingerprint="))
            facts.sha256 = value;
    }
}

QString SignedPackages::buildPackage(const QString &name, int minSdk,
                                     const PackageContents &contents)
{
    const QString path = BuildTestPackage(directory.path(), name,
                                          {QStringLiteral("org.pelmora.signed"),
                                           QStringLiteral("1.0"), QStringLiteral("签名"), minSdk},
                                          contents);
    // An entry with bytes of our own, which the rows that damage a package change.
    if (!WriteFile(directory.filePath(QStringLiteral("classes.dex")), dexBytes))
        return {};
    // A name too long for one manifest line, so that the manifest continues it on the next.
    const QString longName = QStringLiteral(
        "an-entry-whose-name-is-long-enough-that-the-manifest-continues-it-on-a-second-line.txt");
    for (const QString &name : {QStringLiteral("classes.dey"), longName})
        if (!WriteFile(directory.filePath(name), "another entry"))
            return {};
    return !path.isEmpty() && addEntries(path, {QStringLiteral("classes.dex"),
                                                QStringLiteral("classes.dey"), longName})
               ? path
               : QString();
}

QString SignedPackages::sign(const QString &input, const QString &keyName,
                             const QStringList &options)
{
    static int count = 0;
    const QString output = directory.filePath(QStringLiteral("signed-%1.apk").arg(++count));
    const KeyFacts &key = keys[keyName];
    QStringList arguments = {QStringLiteral("sign"), QStringLiteral("--key"), key.key,
                             QStringLiteral("--cert"), key.certificate};
    if (keyName == QLatin1String("next")) {
        const KeyFacts &old = keys[QStringLiteral("rsa")];
        arguments = {QStringLiteral("sign"),
                     QStringLiteral("--lineage"),
                     lineage,
                     QStringLiteral("--key"),
                     old.key,
                     QStringLiteral("--cert"),
                     old.certificate,
                     QStringLiteral("--next-signer"),
                     QStringLiteral("--key"),
                     key.key,
                     QStringLiteral("--cert"),
                     key.certificate};
    }
    const ProgramRun apksigner =
        RunProgram(QStringLiteral(SYSTEM_APKSIGNER),
                   arguments + options + QStringList{QStringLiteral("--out"), output, input});
    return apksigner.exitCode == 0 ? output : QString();
}

// The package with `block` put before its central directory, as a signer would put it.
QString SignedPackages::splice(const QString &input, const QByteArray &block)
{
    QByteArray bytes = ReadFile(input);
    if (bytes.size() < 22)
        return {};
    // aapt writes no archive comment: the end record is the last 22 bytes.
    const qsizetype endRecord = bytes.size() - 22;
    const quint32 directoryOffset = Get<quint32>(bytes, endRecord + 16);
    bytes.insert(directoryOffset, block);
    Put<quint32>(bytes, bytes.size() - 6, quint32(directoryOffset + block.size()));
    const QString output = input + QStringLiteral(".spliced.apk");
    return WriteFile(output, bytes) ? output : QString();
}

bool SignedPackages::addEntries(const QString &path, const QStringList &names) const
{
    QProcess aapt;
    aapt.setWorkingDirectory(directory.path());
    aapt.start(QStringLiteral(SYSTEM_AAPT), QStringList{QStringLiteral("add"), path} + names);
    return aapt.waitForFinished(-1) && aapt.exitCode() == 0;
}

bool SignedPackages::replaceJarFiles(
    const QString &package, const std::function<QStringList(const QString &folder)> &write) const
{
    const QTemporaryDir folder(directory.filePath(QStringLiteral("jar-XXXXXX")));
    const QStringList names = write(folder.path());
    QStringList existing;
    for (const QByteArray &name :
         ZipArchive(SafeFile(QFile::encodeName(package))).entryNames("META-INF/"))
        existing.append(QString::fromUtf8(name));
    QProcess aapt;
    if (!existing.isEmpty()) {
        aapt.start(QStringLiteral(SYSTEM_AAPT),
                   QStringList{QStringLiteral("remove"), package} + existing);
        if (!aapt.waitForFinished(-1) || aapt.exitCode() != 0)
            return false;
    }
    aapt.setWorkingDirectory(folder.path());
    aapt.start(QStringLiteral(SYSTEM_AAPT), QStringList{QStringLiteral("add"), package} + names);
    return !names.isEmpty() && aapt.waitForFinished(-1) && aapt.exitCode() == 0;
}

QByteArray
SignedPackages::changedAsFile(const QByteArray &bytes,
                              const std::function<bool(const QString &path)> &change) const
{
    const QString path = directory.filePath(QStringLiteral("changed.apk"));
    return WriteFile(path, bytes) && change(path) ? ReadFile(path) : QByteArray();
}

QString SignedPackages::make(int minSdk, const QString &key, const QStringList &options,
                             const QByteArray &block, const Alteration &alteration)
{
    QString path =
        buildPackage(QStringLiteral("sdk%1.apk").arg(minSdk), minSdk, alteration.contents);
    if (path.isEmpty() || (alteration.beforeSigning && !alteration.beforeSigning(path)))
        return {};
    if (!key.isEmpty() && !alteration.signedBefore)
        path = sign(path, key, options);
    if (!block.isEmpty())
        path = splice(path, block);
    if (path.isEmpty() || !alteration.afterSigning)
        return path;
    const QByteArray bytes = alteration.afterSigning(path, ReadFile(path));
    return !bytes.isEmpty() && WriteFile(path, bytes) ? path : QString();
}

void SignedPackages::matchesApksigner(const QString &path, const QString &key, const Ruling &ruling)
{
    QFETCH(QString, publicKey);
    const SafeFile package(QFile::encodeName(path));
    const ZipArchive archive(package);
    const SignatureReport report = VerifyPackageSignatures(package, archive);
    const QList<LabelledValue> rows = DescribeSignatures(report);
    // A channel marker is read where a store's tool put it, and found nowhere else.
    QCOMPARE(ReadChannel(package, archive).value_or(QString()), ruling.channel);
    QMultiMap<QString, QString> shown;
    for (const LabelledValue &row : rows)
        shown.insert(row.label, row.value);
    QTEST(shown.value(QStringLiteral("签名方案")), "schemes");
    QTEST(shown.value(QStringLiteral("签名校验")), "verdict");

    // One read of the whole file, which feeds the file's own digests too, decides as the check's
    // own reads do: the content and entry digests on a second thread.
    {
        SignatureCheck check(package, archive);
        FileDigestSinks digests;
        QVERIFY(ReadOnce(package, {&digests.md5}, {&digests.sha256, &check}));
        QStringList fed, own;
        for (const LabelledValue &row : DescribeSignatures(check.finish()))
            fed.append(row.label + u'=' + row.value);
        for (const LabelledValue &row : rows)
            own.append(row.label + u'=' + row.value);
        QCOMPARE(fed, own);
    }

    // A reader of the whole file can feed the content digests along the way, in any pieces.
    const PackageLayout layout =
        archive.isOpen() ? ReadPackageLayout(package, archive.endRecord()) : PackageLayout();
    if (archive.isOpen() && !layout.error.failed()) {
        const QList<ContentDigestKind> kinds = {ContentDigestKind::ChunkedSha256,
                                                ContentDigestKind::ChunkedSha512,
                                                ContentDigestKind::VeritySha256};
        ContentDigester digester(layout, kinds);
        const QByteArray whole = ReadFile(path);
        for (qsizetype at = 0; at < whole.size(); at += 4097)
            digester.feed(at, whole.constData() + at, qMin<qsizetype>(4097, whole.size() - at));
        QVERIFY(digester.finish() == ComputeContentDigests(package, layout, kinds));
    }

    // Ground truth: apksigner on the same file.
    const QByteArray truth = RunProgram(QStringLiteral(SYSTEM_APKSIGNER),
                                        {QStringLiteral("verify"), QStringLiteral("--print-certs"),
                                         QStringLiteral("-v"), path})
                                 .out;
    const bool apksignerVerifies = truth.startsWith("Verifies\n");
    const bool apksignerJudges = !ruling.android;
    const bool verifies = ruling.android.value_or(apksignerVerifies && !ruling.refusedHere);
    QCOMPARE(shown.value(QStringLiteral("签名校验")) == QStringLiteral("通过"), verifies);
    // Each scheme apksigner verified is one we passed: "Verified using v2 scheme (...): true".
    const QStringList schemeLines =
        shown.value(QStringLiteral("各方案校验")).split(QLatin1Char('\n'));
    for (const QByteArray &line : truth.split('\n'))
        if (verifies && apksignerJudges && line.startsWith("Verified using v") &&
            line.mid(16, 1) <= "3")
            QCOMPARE(schemeLines.contains(QString::fromLatin1(line.mid(15, 2)) +
                                          QStringLiteral(": 通过")),
                     line.endsWith(": true"));

    // Schemes signed by different signers show each one's, under the scheme's name.
    const bool signersDiffer =
        shown.value(QStringLiteral("签名校验")).endsWith(QStringLiteral("各方案签名者不一致"));
    QStringList labelled;
    for (const char *scheme : {"v1", "v2", "v3"})
        labelled += shown.values(QStringLiteral("签名者 (%1)").arg(QLatin1String(scheme)));
    QCOMPARE(labelled.contains(keys.value(key).subject) &&
                 labelled.contains(keys.value(QStringLiteral("next")).subject),
             signersDiffer);

    // The certificate digests must be apksigner's, the first signer first.
    QStringList sha256, sha1, md5;
    for (const QByteArray &line : truth.split('\n')) {
        const QString value = QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
        if (line.contains("certificate SHA-256 digest:"))
            sha256.append(value);
        else if (line.contains("certificate SHA-1 digest:"))
            sha1.append(value);
        else if (line.contains("certificate MD5 digest:"))
            md5.append(value);
    }
    const auto plain = [](QStringList values) {
        for (QString &value : values)
            value = value.remove(QLatin1Char(':')).toLower();
        return values;
    };
    // apksigner names the signers the newest platform verifies with.
    QStringList newest;
    for (const SignerFacts &signer : report.newestPlatformSigners())
        newest.append(signer.certificate.sha256);
    if (verifies && apksignerVerifies && apksignerJudges)
        QCOMPARE(plain(newest), sha256);
    // Each v3 signer says which platforms it signs for.
    if (report.v3.state != SchemeState::Absent && report.signersByScheme.isEmpty())
        QCOMPARE(shown.values(QStringLiteral("适用平台")).size(), report.signers.size());
    if (verifies && apksignerVerifies && apksignerJudges &&
        newest.size() == report.signers.size()) {
        QCOMPARE(plain(shown.values(QStringLiteral("证书 SHA-256"))), sha256);
        QCOMPARE(plain(shown.values(QStringLiteral("证书 SHA-1"))), sha1);
        QCOMPARE(plain(shown.values(QStringLiteral("证书 MD5"))), md5);
        QCOMPARE(shown.values(QStringLiteral("签名 MD5")), md5);
        const KeyFacts facts = keys.value(key);
        QCOMPARE(shown.value(QStringLiteral("主题")), facts.subject);
        QCOMPARE(shown.value(QStringLiteral("颁发者")), facts.subject);
        QCOMPARE(shown.value(QStringLiteral("序列号")), facts.serial);
        const QString former =
            key == QLatin1String("next") ? keys.value(QStringLiteral("rsa")).sha256 : QString();
        QCOMPARE(shown.value(QStringLiteral("轮换前证书 SHA-256")), former);
    }
    // A certificate that does not parse shows that in place of all its facts.
    QCOMPARE(shown.value(QStringLiteral("公钥"), shown.value(QStringLiteral("主题"))), publicKey);
}
