// Signature check speed: verifying a 300 MiB package against one SHA-256 pass over its bytes
// already in memory, per scheme checked (target W / (K x S) <= 1.2), on a package signed with
// v1, v2 and v3 and on one signed with v2 alone. Both are signed here with apksigner. Then the
// time and peak memory of the verdict on hostile packages of under 1 MB made from signed ones
// (the JAR manifest bombs among them), and of the report's record and the thumbnailer, each run
// as a program, on those and on hostile bundles (target: under 2 s and 300 MiB each); and of the
// report and --compare on packages of 30,000 permissions, and of the report and the thumbnailer
// on a label in 60,001 locales, which keeps aapt itself busy until its time is up.
// Usage: verify_bench PELMORA THUMBNAILER
#include "BenchPackages.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "details/DescribeSignatures.h"
#include "digest/Digest.h"
#include "digest/SafeFile.h"
#include "tests/support/HostilePackages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <malloc.h>

namespace {

constexpr qint64 PackageSize = qint64(300) << 20;
constexpr int Runs = 5;

void Measure(const QString &name, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray bytes = file.readAll();
    const double inMemory = BestMs(Runs, [&bytes] { DigestOf(DigestAlgorithm::Sha256, bytes); });
    const SafeFile package(QFile::encodeName(path));
    SignatureReport report;
    // Opening the archive is part of the check: the window opens it for the check and the icon.
    const double verify =
        BestMs(Runs, [&] { report = VerifyPackageSignatures(package, ZipArchive(package)); });
    if (VerdictText(report) != QStringLiteral("通过"))
        qFatal("%s does not verify: %s", qPrintable(name), qPrintable(VerdictText(report)));
    int schemes = 0;
    for (const SchemeResult *scheme : {&report.v1, &report.v2, &report.v3})
        schemes += scheme->state != SchemeState::Absent;
    std::printf("verify %s: %.1f ms, one in-memory SHA-256 pass %.1f ms, schemes checked %d, "
                "ratio W/(K×S) = %.2f (target <= 1.2)\n",
                qPrintable(name), verify, inMemory, schemes, verify / (schemes * inMemory));
}

// The process's peak resident memory since the last reset, in MiB.
double PeakRssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

void ResetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        qFatal("cannot reset the peak RSS");
}

// The programs the report and the thumbnails come from.
struct Programs
{
    QByteArray pelmora;
    QByteArray thumbnailer;
};

// Best time and highest peak memory of `runs` runs of a program. A child starts out with the
// resident size of the process that spawned it as its peak, so this one gives back what it
// freed and forgets its own peak first.
void MeasureProgram(const char *what, const QString &name, const QList<QByteArray> &arguments,
                    int runs = Runs)
{
    double ms = 1e300, peak = 0;
    for (int run = 0; run < runs; ++run) {
        malloc_trim(0);
        ResetPeakRss();
        const ChildRun child = RunChild(arguments);
        if (child.exitCode < 0)
            qFatal("%s died on %s", arguments.first().constData(), qPrintable(name));
        ms = qMin(ms, child.ms);
        peak = qMax(peak, child.peakRssMiB);
    }
    std::printf("%s hostile %s: %.1f ms, peak RSS %.1f MiB\n", what, qPrintable(name), ms, peak);
}

// The report's record and the thumbnail of the hostile file at `path`.
void MeasurePrograms(const Programs &programs, const QString &name, const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    MeasureProgram("report", name, {programs.pelmora, "--report", "--json", file});
    MeasureProgram("thumbnail", name,
                   {programs.thumbnailer, "-s", "256", file, file + ".thumbnail.png"});
}

void WriteHostile(const QString &name, const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    if (bytes.size() >= 1000 * 1000)
        qFatal("%s is not under 1 MB", qPrintable(name));
}

void MeasureHostile(const Programs &programs, const QString &name, const QString &path,
                    const QByteArray &bytes)
{
    WriteHostile(name, path, bytes);
    const SafeFile package(QFile::encodeName(path));
    ResetPeakRss();
    SignatureReport report;
    const double ms =
        BestMs(Runs, [&] { report = VerifyPackageSignatures(package, ZipArchive(package)); });
    if (VerdictText(report) == QStringLiteral("通过"))
        qFatal("%s verifies", qPrintable(name));
    std::printf("verify hostile %s: %.1f ms, peak RSS %.1f MiB\n", qPrintable(name), ms,
                PeakRssMiB());
    MeasurePrograms(programs, name, path);
}

// A ZIP of `entries` (a name inside and the file that holds its bytes), each deflated.
QByteArray HostileBundle(const QList<std::pair<QString, QString>> &entries)
{
    QTemporaryDir inside;
    QStringList names;
    for (const auto &[name, source] : entries) {
        QDir(inside.path()).mkpath(QFileInfo(name).path());
        if (!QFile::link(source, inside.filePath(name)))
            qFatal("cannot place %s", qPrintable(name));
        names.append(name);
    }
    const QString zip = inside.filePath(QStringLiteral("bundle.zip"));
    RunOrDie(QStringLiteral("aapt"), QStringList{QStringLiteral("add"), zip} + names,
             inside.path());
    return ReadBenchFile(zip);
}

// Bundles of under 1 MB: an index of millions of empty messages, and APKs that each inflate a
// lot, but not past what one package may.
void MeasureHostileBundles(const Programs &programs, const QString &directory,
                           const QString &signedZerosApk, const QString &base)
{
    const QDir root(directory);
    const QString toc = root.filePath(QStringLiteral("toc.pb"));
    QFile index(toc);
    if (!index.open(QIODevice::WriteOnly) ||
        index.write(QByteArray("\x0a\x00", 2).repeated(8'400'000)) != 16'800'000)
        qFatal("cannot write toc.pb");
    index.close();
    const QString tocName = QStringLiteral("toc.pb of 8.4 M empty messages");
    const QString tocBundle = root.filePath(QStringLiteral("toc.apks"));
    WriteHostile(tocName, tocBundle,
                 HostileBundle({{QStringLiteral("toc.pb"), toc},
                                {QStringLiteral("splits/base-master.apk"), base}}));
    MeasurePrograms(programs, tocName, tocBundle);

    QList<std::pair<QString, QString>> apks = {{QStringLiteral("base.apk"), signedZerosApk}};
    for (int i = 1; i < 200; ++i)
        apks.append({QStringLiteral("split_%1.apk").arg(i), signedZerosApk});
    const QString manyName = QStringLiteral("200 APKs, each JAR-signed over 128 MiB of zeros");
    const QString manyBundle = root.filePath(QStringLiteral("many.apks"));
    WriteHostile(manyName, manyBundle, HostileBundle(apks));
    MeasurePrograms(programs, manyName, manyBundle);
}

// Key rotation and RSA at their most expensive: a package signed with a key whose public
// exponent has 3,000 bits, its v3 block replaced by signers of that key that each carry a
// lineage of 64 nodes repeating its certificate.
void MeasureExhaustingSigners(const Programs &programs, const QString &directory)
{
    constexpr int ExponentBytes = 375;
    QByteArray exponent(ExponentBytes, '\x5a');
    exponent[0] = char(0xc5);
    exponent[ExponentBytes - 1] = char(0x5b);
    const BenchKey huge = MakeBenchKey(
        directory, QStringLiteral("huge"),
        {QStringLiteral("-newkey"), QStringLiteral("rsa:3072"), QStringLiteral("-pkeyopt"),
         QStringLiteral("rsa_keygen_pubexp:0x") + QString::fromLatin1(exponent.toHex())});
    const QString built = BuildLargePackage(directory, QStringLiteral("rotations.apk"), 4096);
    const QString signedPackage = built + QStringLiteral(".signed");
    SignBenchPackage(huge, built, signedPackage,
                     {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false")});
    const QByteArray certificate = CertificateDer(huge.certificate);
    constexpr quint32 V3Id = 0xf05368c0;
    const QByteArray bytes =
        WithBlockPairs(ReadBenchFile(signedPackage), [&](quint32 id, const QByteArray &value) {
            if (id != V3Id)
                return BlockPair(id, value);
            SignerParts parts = FirstSignerParts(value, true);
            parts.attributes = LineageAttribute(QList<QByteArray>(64, certificate), huge.pk8);
            return BlockPair(
                id, SchemeValue(QList<QByteArray>(8, CraftSigner(parts, huge.pk8, certificate))));
        });
    MeasureHostile(programs,
                   QStringLiteral("8 signers, each a lineage of 64 nodes repeating one "
                                  "certificate, RSA exponents of 3,000 bits"),
                   QDir(directory).filePath(QStringLiteral("rotations-hostile.apk")), bytes);
}

// A package of 30,000 permissions, whose names start with `prefix`.
QString BuildPermissionsPackage(const QString &directory, const QString &fileName,
                                const QByteArray &prefix)
{
    QByteArray manifest = "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
                          "package='org.example.permissions' android:versionCode='1'>";
    for (int i = 0; i < 30'000; ++i)
        manifest += "<uses-permission android:name='" + prefix + QByteArray::number(i) + "'/>";
    manifest += "<application android:label='Permissions'/></manifest>";
    return BuildResourcePackage(directory, fileName, manifest, {});
}

// A label in 60,001 locales, its table written by aapt for two and copied into the rest.
QString BuildLocalesPackage(const QString &directory)
{
    const auto label = [](const char *text) {
        return "<resources><string name='label'>" + QByteArray(text) + "</string></resources>";
    };
    const QString package = BuildResourcePackage(
        directory, QStringLiteral("locales.apk"),
        "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
        "package='org.example.locales'><application android:label='@string/label'/></manifest>",
        {{QStringLiteral("values/strings.xml"), label("Locales")},
         {QStringLiteral("values-zh-rCN/strings.xml"), label("地区")}});
    const QDir tables(QDir(directory).filePath(QStringLiteral("locales-table")));
    tables.mkpath(QStringLiteral("."));
    QFile table(tables.filePath(QStringLiteral("resources.arsc")));
    const SafeFile built(QFile::encodeName(package));
    const QByteArray copied = WithLocaleCopies(
        ZipArchive(built).readEntry("resources.arsc", 1 << 20).value_or(QByteArray()), 60'000);
    if (copied.isEmpty() || !table.open(QIODevice::WriteOnly) ||
        table.write(copied) != copied.size())
        qFatal("cannot write the table of 60,001 locales");
    table.close();
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("remove"), package, QStringLiteral("resources.arsc")}, tables.path());
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("add"), package, QStringLiteral("resources.arsc")}, tables.path());
    if (QFileInfo(package).size() >= 1000 * 1000)
        qFatal("the package of 60,001 locales is not under 1 MB");
    return package;
}

// Work that grows with a package's lists or with the tool's own run: permissions in the report
// and the comparison, and a label aapt reads for many seconds, with the tool's default limit and
// with one of a second.
void MeasureBoundedWork(const Programs &programs, const QString &directory)
{
    const QByteArray before =
        QFile::encodeName(BuildPermissionsPackage(directory, QStringLiteral("permissions-a.apk"),
                                                  "org.example.permission.BEFORE_THE_UPDATE_"));
    const QByteArray after =
        QFile::encodeName(BuildPermissionsPackage(directory, QStringLiteral("permissions-b.apk"),
                                                  "org.example.permission.AFTER_THE_UPDATE_"));
    const QString permissions = QStringLiteral("30,000 permissions (%1 KB)")
                                    .arg(QFileInfo(QFile::decodeName(before)).size() / 1000);
    MeasureProgram("report", permissions, {programs.pelmora, "--report", "--json", before});
    MeasureProgram("compare", permissions + QStringLiteral(", 30,000 others in the new one"),
                   {programs.pelmora, "--compare", "--json", before, after});

    const QByteArray locales = QFile::encodeName(BuildLocalesPackage(directory));
    const QString label = QStringLiteral("label in 60,001 locales (%1 KB)")
                              .arg(QFileInfo(QFile::decodeName(locales)).size() / 1000);
    // The tool runs until its limit: one run says as much as five.
    MeasureProgram("report", label, {programs.pelmora, "--report", "--json", locales}, 1);
    MeasureProgram("report --tool-timeout 1", label,
                   {programs.pelmora, "--report", "--json", "--tool-timeout", "1", locales});
    MeasureProgram("thumbnail", label,
                   {programs.thumbnailer, "-s", "256", locales, locales + ".thumbnail.png"}, 1);
}

// Builds the hostile packages from a small one and measures each verdict.
void MeasureHostilePackages(const Programs &programs, const QString &directory, const BenchKey &key)
{
    const QDir root(directory);
    const auto signV1 = [&](const QString &input) {
        const QString output = input + QStringLiteral(".signed");
        SignBenchPackage(key, input, output,
                         {QStringLiteral("--v2-signing-enabled"), QStringLiteral("false"),
                          QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")});
        return ReadBenchFile(output);
    };
    const auto addEntries = [&](const QString &package, const QStringList &names) {
        RunOrDie(QStringLiteral("aapt"), QStringList{QStringLiteral("add"), package} + names,
                 directory);
    };
    // Adds an entry `name` of `size` zero bytes, which deflate a thousandfold.
    const auto addZeros = [&](const QString &package, const QString &name, qint64 size) {
        QFile zeros(root.filePath(name));
        if (!zeros.open(QIODevice::WriteOnly) || !zeros.resize(size))
            qFatal("cannot write %s", qPrintable(name));
        zeros.close();
        addEntries(package, {name});
    };

    const QString bomb = BuildLargePackage(directory, QStringLiteral("bomb.apk"), 4096);
    addZeros(bomb, QStringLiteral("bomb.bin"), qint64(256) << 20);
    const QByteArray signedBomb = signV1(bomb);
    MeasureHostile(programs, QStringLiteral("deflate bomb named 64 times"),
                   root.filePath(QStringLiteral("named-often.apk")),
                   WithAliases(
                       signedBomb, [](const QByteArray &name) { return name == "bomb.bin"; }, 63));
    MeasureHostile(programs, QStringLiteral("deflate bomb"),
                   root.filePath(QStringLiteral("bomb-once.apk")), signedBomb);

    const QString repeated = BuildLargePackage(directory, QStringLiteral("repeated.apk"), 4096);
    const QStringList signatureFiles =
        WriteRepeatedSectionSignature(directory, QStringLiteral("openssl"), key.pem,
                                      key.certificate, "classes.dex", "", 20 << 20, 2000);
    if (signatureFiles.isEmpty())
        qFatal("openssl could not sign the signature file");
    addEntries(repeated, signatureFiles);
    MeasureHostile(programs, QStringLiteral("signature file naming a 20 MiB section 2,000 times"),
                   root.filePath(QStringLiteral("repeated-section.apk")), ReadBenchFile(repeated));

    // A manifest of tiny sections that inflates a thousandfold: behind junk signature files it
    // is never read, behind valid ones it is read to its size limit and parsed to its section
    // limit.
    const struct
    {
        QString name;
        qint64 size;
        bool validSignature;
    } bombs[] = {
        {QStringLiteral("manifest of 64 MiB of tiny sections, junk signature"), qint64(64) << 20,
         false},
        {QStringLiteral("manifest of 31 MiB of tiny sections, valid signature"), qint64(31) << 20,
         true},
    };
    for (const auto &bomb : bombs) {
        const QString package =
            BuildLargePackage(directory, QStringLiteral("manifest-bomb.apk"), 4096);
        const QTemporaryDir folder(root.filePath(QStringLiteral("bomb-XXXXXX")));
        const QStringList files = WriteManifestBomb(folder.path(), QStringLiteral("openssl"),
                                                    bomb.validSignature ? key.pem : QString(),
                                                    key.certificate, bomb.size);
        if (files.isEmpty())
            qFatal("could not write the manifest bomb");
        RunOrDie(QStringLiteral("aapt"), QStringList{QStringLiteral("add"), package} + files,
                 folder.path());
        MeasureHostile(programs, bomb.name,
                       root.filePath(QStringLiteral("manifest-bomb-signed.apk")),
                       ReadBenchFile(package));
    }
    MeasureExhaustingSigners(programs, directory);

    const QByteArray small =
        signV1(BuildLargePackage(directory, QStringLiteral("small.apk"), 4096));
    MeasureHostile(programs, QStringLiteral("4,000 aliased JAR signers"),
                   root.filePath(QStringLiteral("aliased-signers.apk")),
                   WithAliases(
                       small,
                       [](const QByteArray &name) {
                           return name.startsWith("META-INF/") &&
                                  (name.endsWith(".SF") || name.endsWith(".RSA"));
                       },
                       4000));

    // One APK JAR-signed over 128 MiB of zeros, as each APK of a hostile bundle is.
    const QString zeroApk = BuildLargePackage(directory, QStringLiteral("zeros.apk"), 0);
    addZeros(zeroApk, QStringLiteral("zeros.bin"), qint64(128) << 20);
    signV1(zeroApk);
    // signV1 leaves each signed package beside its input.
    MeasureHostileBundles(programs, directory, zeroApk + QStringLiteral(".signed"),
                          root.filePath(QStringLiteral("small.apk.signed")));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: verify_bench PELMORA THUMBNAILER\n");
        return 2;
    }
    const Programs programs{argv[1], argv[2]};
    QCoreApplication application(argc, argv);
    QTemporaryDir directory;
    const QString unsignedPackage =
        BuildLargePackage(directory.path(), QStringLiteral("unsigned.apk"), PackageSize);
    const BenchKey key = MakeBenchKey(directory.path());

    const struct
    {
        QString name;
        QStringList options;
    } packages[] = {
        {QStringLiteral("v1+v2+v3 300 MiB"), {}},
        {QStringLiteral("v2 only 300 MiB"),
         {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false"),
          QStringLiteral("--v3-signing-enabled"), QStringLiteral("false")}},
    };
    for (const auto &package : packages) {
        const QString signedPackage = directory.filePath(QStringLiteral("signed.apk"));
        SignBenchPackage(key, unsignedPackage, signedPackage, package.options);
        Measure(package.name, signedPackage);
    }
    MeasureHostilePackages(programs, directory.path(), key);
    MeasureBoundedWork(programs, directory.path());
    return 0;
}
