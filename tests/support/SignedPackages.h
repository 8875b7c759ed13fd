#pragma once

#include "TestSupport.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <optional>

// The signature tests: each row builds a package with aapt, signs it with apksigner, alters it
// as an attacker or an odd tool would, and holds Pelmora's verdict and shown texts against
// `apksigner verify` on the same file.

// What openssl itself says about a certificate, to hold our facts against.
struct KeyFacts
{
    QString key;         // --key
    QString certificate; // --cert
    QString subject;
    QString serial;
    QString sha256;
    QString pemKey; // the private key as openssl takes it
};

// How a row's package is made beyond building and signing it.
struct Alteration
{
    PackageContents contents = {}; // what the package holds beyond the usual
    // Done to the unsigned package; false on failure.
    std::function<bool(const QString &path)> beforeSigning = {};
    // beforeSigning signed the package itself, where apksigner would drop or re-encode its work.
    bool signedBefore = false;
    // The signed package's bytes as the row alters them (the file is at `path`); empty on
    // failure.
    std::function<QByteArray(const QString &path, const QByteArray &bytes)> afterSigning = {};
};

// The alteration of the signed package's bytes by `change` alone.
Alteration AfterSigning(const std::function<QByteArray(const QByteArray &bytes)> &change);

// Where the verdict is not apksigner's.
struct Ruling
{
    std::optional<bool> android = {}; // where apksigner cannot judge as Android does
    bool refusedHere = false; // past a limit of Pelmora's own, where apksigner takes anything
    QString channel = {};     // the store's channel marker the package carries
};

// What the rows expect to be shown.
inline const QString AllSchemes = QStringLiteral("v1 (JAR), v2, v3");
inline const QString Rsa2048 = QStringLiteral("RSA 2048 位");
inline const QString Failed = QStringLiteral("失败：");

// apksigner's options that leave schemes out.
inline const QStringList V1Only = {QStringLiteral("--v2-signing-enabled"), QStringLiteral("false"),
                                   QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
inline const QStringList V2Only = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false"),
                                   QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
inline const QStringList V3Only = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false"),
                                   QStringLiteral("--v2-signing-enabled"), QStringLiteral("false")};
inline const QStringList V1V2 = {QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")};
inline const QStringList V2V3 = {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false")};

// The v2 and v3 pairs of a signing block, and the padding pair apksigner adds.
constexpr quint32 V2PairId = 0x7109871a;
constexpr quint32 V3PairId = 0xf05368c0;
constexpr quint32 PaddingPairId = 0x42726577;

// A signing block around `pairs`; `trailingSizeOff` makes its two size fields disagree.
QByteArray Block(const QByteArray &pairs, int trailingSizeOff = 0);
// A signing block of one v2 pair that holds `signers`.
QByteArray V2Block(const QByteArray &signers);

// A folder of test packages and the keys they are signed with.
class SignedPackages
{
public:
    // Adds the keys "rsa" and "next" with apksigner's record of the rotation from the one to
    // the other, and makes the payload; false on failure. Keys are made once for a build
    // directory and kept there: making them takes seconds and every signature test needs them.
    bool init();

    // Adds key `name`, made by openssl with `keyOptions` for `req` or taken from the kept ones
    // made so; false on failure.
    bool addKey(const QString &name, const QStringList &keyOptions);
    // Keeps `der` as the certificate of key `name`, whose private key is `key`; false when it
    // cannot be written as it stands.
    bool addCertificate(const QString &name, const QByteArray &der, const QString &key);
    // The key `name`; empty facts for a name none has.
    KeyFacts key(const QString &name) const { return keys.value(name); }

    // The folder packages are built in, and a file there.
    QString folder() const { return directory.path(); }
    QString filePath(const QString &name) const { return directory.filePath(name); }
    // The bytes of classes.dex, which the rows that damage a package change.
    const QByteArray &payload() const { return dexBytes; }
    // Adds files of the folder to the package as they are named there.
    bool addEntries(const QString &path, const QStringList &names) const;
    // Replaces the JAR signature files of `package` with those `write` puts into the folder it
    // is given, returning their names relative to it.
    bool replaceJarFiles(const QString &package,
                         const std::function<QStringList(const QString &folder)> &write) const;

    // The package `bytes` as `change` leaves it, working on it as a file; empty on failure.
    QByteArray changedAsFile(const QByteArray &bytes,
                             const std::function<bool(const QString &path)> &change) const;

    // The row's package: built for `minSdk`, signed with `key` (unsigned when empty) and
    // apksigner's `options`, with `block` put in when set, altered; its path, empty on failure.
    QString make(int minSdk, const QString &key, const QStringList &options,
                 const QByteArray &block, const Alteration &alteration);
    // Holds what Pelmora shows for the package at `path`, signed with `key`, against the row's
    // "schemes", "verdict" and "publicKey" and against apksigner, but where `ruling` says.
    void matchesApksigner(const QString &path, const QString &key, const Ruling &ruling);

private:
    QString buildPackage(const QString &name, int minSdk, const PackageContents &contents);
    QString sign(const QString &input, const QString &keyName, const QStringList &options);
    static QString splice(const QString &input, const QByteArray &block);
    static void readCertificateFacts(KeyFacts &facts);

    QTemporaryDir directory;
    QMap<QString, KeyFacts> keys;
    QString lineage; // apksigner's record of the rotation from "rsa" to "next"
    QByteArray dexBytes;
};

// The columns of every signature test's table, `Change` being the test's own alterations.
template <typename Change> void AddSignedPackageColumns()
{
    QTest::addColumn<int>("minSdk");
    QTest::addColumn<QString>("key"); // empty: unsigned
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QByteArray>("block"); // put into the unsigned package when set
    QTest::addColumn<QString>("schemes");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("publicKey");
}

// Every signature test's check of a row: the row's package made as `alteration` says for its
// change and held against apksigner but where `ruling` says.
template <typename Change>
void MatchesApksigner(SignedPackages &packages,
                      const std::function<Alteration(Change change)> &alteration,
                      const std::function<Ruling(Change change, const QString &key)> &ruling)
{
    QFETCH(int, minSdk);
    QFETCH(QString, key);
    QFETCH(QStringList, options);
    QFETCH(Change, change);
    QFETCH(QByteArray, block);
    const QString path = packages.make(minSdk, key, options, block, alteration(change));
    QVERIFY(!path.isEmpty());
    packages.matchesApksigner(path, key, ruling(change, key));
}

// A signature test: one table of rows, each a package held against apksigner. A test derives
// from it, adds its keys beside "rsa" and "next", its rows (AddSignedPackageColumns and its
// own alterations) and checks a row with MatchesApksigner.
class SignatureRulesTest : public QObject
{
    Q_OBJECT

protected:
    // Fails the test (QVERIFY) when a key cannot be made.
    virtual void addKeys() {}
    virtual void addRows() = 0;
    virtual void checkRow() = 0;

    SignedPackages packages;

private slots:
    void initTestCase();
    void matchesApksigner_data() { addRows(); }
    void matchesApksigner() { checkRow(); }
};
