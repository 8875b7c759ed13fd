#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

// Milliseconds of the fastest of `runs` runs of `work`: on a shared machine it is the least
// disturbed.
double BestMs(int runs, const std::function<void()> &work);

// The whole of `path`; stops the benchmark when it cannot be read.
QByteArray ReadBenchFile(const QString &path);

// Writes `size` bytes of pseudo-random data (incompressible, the same every run) to `path`.
// Returns the path; stops the benchmark when the file cannot be written.
QString MakeRandomFile(const QString &path, qint64 size);

// Builds a real package with the system's aapt: a small manifest (for Android 7.0 and later, as
// stores sign apps with v2 and v3 alone) and one asset of `assetSize` random bytes, stored
// uncompressed as a large asset is in real packages; a split of the app when `split` names one.
// Returns its path; stops the benchmark when aapt fails.
QString BuildLargePackage(const QString &directory, const QString &fileName, qint64 assetSize,
                          const QString &split = {});

// Builds a package with the system's aapt from `manifest` (the text of its AndroidManifest.xml)
// and `resources` (paths under res/ and their bytes), against the framework's resources.
// Returns its path; stops the benchmark when aapt fails.
QString BuildResourcePackage(const QString &directory, const QString &fileName,
                             const QByteArray &manifest,
                             const QList<std::pair<QString, QByteArray>> &resources);

// One run of a program from its start to its exit, its standard output discarded.
struct ChildRun
{
    int exitCode = -1; // -1 when it did not end by itself
    double ms = 0;
    double peakRssMiB = 0;
};
// Runs arguments[0] with the rest as its arguments; stops the benchmark when it cannot start.
ChildRun RunChild(const QList<QByteArray> &arguments);

// Runs `program` in `directory`; stops the benchmark when it fails.
void RunOrDie(const QString &program, const QStringList &arguments, const QString &directory);

// A fresh key and its certificate in `directory`, named after `name`: a 2,048-bit RSA key unless
// `keyOptions` for openssl req say otherwise.
struct BenchKey
{
    QString pk8;         // as apksigner takes it
    QString pem;         // as openssl takes it
    QString certificate; // PEM
};
BenchKey MakeBenchKey(const QString &directory, const QString &name = QStringLiteral("key"),
                      const QStringList &keyOptions = {QStringLiteral("-newkey"),
                                                       QStringLiteral("rsa:2048")});

// Signs `input` into `output` with apksigner and `options`; stops the benchmark on failure.
void SignBenchPackage(const BenchKey &key, const QString &input, const QString &output,
                      const QStringList &options = {});

// A flat .apks of about 100 MiB in `directory`, a base and three splits signed with v2 and v3:
// its path, and each inner APK's bytes in `apks`.
QString BuildBenchBundle(const QString &directory, QList<QByteArray> &apks);

// Where no lease is to be had, as for a file another user owns: `path` given to another user
// (root keeps its lease on it through CAP_LEASE alone), then CAP_LEASE taken out of the calling
// thread's effective capabilities, or put back. False when not run as root.
bool GiveToAnotherUser(const QString &path);
bool SetLeaseCapability(bool on);
