// The command-line report on a corpus built here, 100 signed packages of 1 to 20 MiB and
// framework-res.apk:
//   against its floor, with one job and with two: for each package, what its record needs done
//     in memory (the file's MD5, SHA-1 and SHA-256 and its signature check, the package read
//     into memory first) plus the tool's own run, summed and shared among the jobs (target: the
//     report within 1.15 times that), the records on standard output and, with --output, to a
//     file;
//   for information, packages a second per core and the bytes each one reads, which is what a
//     cluster's storage must deliver;
//   with one job against two (target: at least 1.7 times faster on two cores);
//   for information, what the platform's permissions cost a process once: framework-res.apk's
//     manifest and table read, every <permission> with its texts, and the memory they keep;
//   and, for information, against what a script runs per file: `aapt dump badging`, `md5sum`,
//     `sha256sum` and `apksigner verify --print-certs`; and the report on framework-res.apk and
//     a package of 1 GiB where no lease is to be had (root without CAP_LEASE, through
//     setpriv, on a file another user owns), read from a private copy, against the same under
//     its lease.
// Usage: report_bench PELMORA
#include "BenchPackages.h"
#include "apk/PermissionDefinitions.h"
#include "apk/PlatformPackage.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "base/MemoryFile.h"
#include "digest/Digest.h"
#include "digest/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int DistinctPackages = 20;
constexpr int CopiesEach = 5;

double SecondsOf(const QString &program, const QStringList &arguments)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    // 2 and over: a refusal, which would time nothing.
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() > 1)
        qFatal("%s did not finish", qPrintable(program));
    return double(timer.nsecsElapsed()) / 1e9;
}

// The fastest of three: on a shared machine it is the least disturbed.
double BestSeconds(const QString &program, const QStringList &arguments)
{
    double best = SecondsOf(program, arguments);
    for (int run = 1; run < 3; ++run)
        best = qMin(best, SecondsOf(program, arguments));
    return best;
}

// The fastest of three runs of the report with its records on standard output, and of three
// with them appended to a file; taken in turn, so that both meet the same load.
struct ReportSeconds
{
    double toStandardOutput = 0;
    double toFile = 0;
};

// What a record of `path` needs done, each part at its fastest: the three digests and the
// signature check over the package held in memory, and the tool's run.
double FloorSeconds(const QString &path)
{
    const QByteArray bytes = ReadBenchFile(path);
    MemoryFile package("pelmora-bench");
    if (!package.append(bytes.constData(), bytes.size()) || !package.seal())
        qFatal("no memory for %s", qPrintable(path));
    const SafeFile file(package.descriptor());
    const double inMemory = BestMs(3, [&] {
        for (DigestAlgorithm algorithm :
             {DigestAlgorithm::Md5, DigestAlgorithm::Sha1, DigestAlgorithm::Sha256})
            DigestOf(algorithm, bytes);
        VerifyPackageSignatures(file, ZipArchive(file));
    });
    const double tool =
        BestSeconds(QCoreApplication::applicationDirPath() + QStringLiteral("/aapt"),
                    {QStringLiteral("dump"), QStringLiteral("badging"), path});
    return inMemory / 1e3 + tool;
}

void WithoutLease(const QString &pelmora, const QString &name, const QString &path)
{
    if (!GiveToAnotherUser(path)) {
        std::printf("report %s without a lease: not measured (needs root)\n", qPrintable(name));
        return;
    }
    const QStringList arguments = {QStringLiteral("--report"), QStringLiteral("--json"), path};
    const double leased = BestSeconds(pelmora, arguments);
    const double copied = BestSeconds(
        QStringLiteral("setpriv"), QStringList{QStringLiteral("--inh-caps=-lease"),
                                               QStringLiteral("--bounding-set=-lease"), pelmora} +
                                       arguments);
    std::printf("report %s: %.3f s under its lease, %.3f s from a private copy (information)\n",
                qPrintable(name), leased, copied);
}

double ResidentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> pages = statm.readAll().split(' ');
    return pages.size() > 1 ? double(pages[1].toLongLong()) * double(getpagesize()) / (1 << 20) : 0;
}

void PlatformPermissionsCost()
{
    const double residentBefore = ResidentMiB();
    QElapsedTimer timer;
    timer.start();
    const bool read = !ThePlatformPackage().problem.failed();
    const double packageMs = double(timer.nsecsElapsed()) / 1e6;
    const qsizetype count = ThePlatformPermissions().size();
    const double allMs = double(timer.nsecsElapsed()) / 1e6;
    if (!read || count == 0)
        qFatal("framework-res.apk's permissions do not read");
    std::printf("platform permissions: %lld in %.1f ms once (framework-res.apk's manifest and "
                "table %.1f ms, the permissions %.1f ms), %.1f MiB more resident (information)\n",
                qlonglong(count), allMs, packageMs, allMs - packageMs,
                ResidentMiB() - residentBefore);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        qFatal("usage: report_bench PELMORA");
    const QString pelmora = QString::fromLocal8Bit(argv[1]);
    PlatformPermissionsCost();
    QTemporaryDir directory;
    const QDir corpus(directory.filePath(QStringLiteral("corpus")));
    corpus.mkpath(QStringLiteral("."));
    const BenchKey key = MakeBenchKey(directory.path());
    QStringList files;
    for (int i = 0; i < DistinctPackages; ++i) {
        const qint64 size = qint64(1 + i * 19 / (DistinctPackages - 1)) << 20;
        const QString built =
            BuildLargePackage(directory.path(), QStringLiteral("built.apk"), size);
        const QString first =
            corpus.filePath(QStringLiteral("p%1-0.apk").arg(i, 2, 10, QChar(u'0')));
        SignBenchPackage(key, built, first);
        files.append(first);
        for (int copy = 1; copy < CopiesEach; ++copy) {
            const QString name =
                corpus.filePath(QStringLiteral("p%1-%2.apk").arg(i, 2, 10, QChar(u'0')).arg(copy));
            if (!QFile::copy(first, name))
                qFatal("cannot copy %s", qPrintable(first));
            files.append(name);
        }
    }
    const QString framework = corpus.filePath(QStringLiteral("framework-res.apk"));
    QFile::copy(QStringLiteral("/usr/share/android-framework-res/framework-res.apk"), framework);
    files.append(framework);

    const QString output = directory.filePath(QStringLiteral("report.jsonl"));
    const auto report = [&](int jobs) {
        const QStringList arguments = {QStringLiteral("--report"), QStringLiteral("--json"),
                                       QStringLiteral("--jobs"), QString::number(jobs),
                                       corpus.path()};
        ReportSeconds best;
        for (int run = 0; run < 3; ++run) {
            const double toStandardOutput = SecondsOf(pelmora, arguments);
            // A file that holds records is refused without --resume.
            QFile::remove(output);
            const double toFile =
                SecondsOf(pelmora, arguments + QStringList{QStringLiteral("--output"), output});
            best.toStandardOutput =
                run == 0 ? toStandardOutput : qMin(best.toStandardOutput, toStandardOutput);
            best.toFile = run == 0 ? toFile : qMin(best.toFile, toFile);
        }
        return best;
    };
    const ReportSeconds one = report(1);
    const ReportSeconds two = report(2);
    const double oneJob = one.toStandardOutput;
    const double twoJobs = two.toStandardOutput;
    double floor = 0;
    qint64 bytes = 0;
    for (const QString &file : std::as_const(files)) {
        floor += FloorSeconds(file);
        bytes += QFileInfo(file).size();
    }

    // What a script runs without Pelmora, one tool after another for each file.
    double script = 0;
    for (const QString &file : std::as_const(files)) {
        script += SecondsOf(QStringLiteral("aapt"),
                            {QStringLiteral("dump"), QStringLiteral("badging"), file});
        script += SecondsOf(QStringLiteral("md5sum"), {file});
        script += SecondsOf(QStringLiteral("sha256sum"), {file});
        script += SecondsOf(QStringLiteral("apksigner"),
                            {QStringLiteral("verify"), QStringLiteral("--print-certs"), file});
    }
    const struct
    {
        int jobs;
        const char *to;
        double seconds;
    } runs[] = {{1, "", oneJob},
                {2, "", twoJobs},
                {1, ", --output", one.toFile},
                {2, ", --output", two.toFile}};
    for (const auto &run : runs)
        std::printf("report floor %lld packages, %d job%s%s: %.2f s; floor %.2f s; W/F = %.3f "
                    "(target <= 1.15)\n",
                    qlonglong(files.size()), run.jobs, run.jobs > 1 ? "s" : "", run.to, run.seconds,
                    floor / run.jobs, run.seconds / (floor / run.jobs));
    // Two jobs keep both cores of this machine busy.
    const double perCore = double(files.size()) / two.toFile / 2;
    const double mibEach = double(bytes) / double(files.size()) / (1 << 20);
    std::printf("report rate, 2 jobs, --output: %.2f packages/s per core of %.1f MiB each on "
                "average, %.1f MiB/s read per core (information)\n",
                perCore, mibEach, perCore * mibEach);
    std::printf("report %lld packages, 2 jobs: %.2f s; per-file aapt + md5sum + sha256sum + "
                "apksigner verify: %.2f s; S/W = %.1f (information)\n",
                qlonglong(files.size()), twoJobs, script, script / twoJobs);
    std::printf("report scaling: 1 job %.2f s, 2 jobs %.2f s, W1/W2 = %.2f (target >= 1.7)\n",
                oneJob, twoJobs, oneJob / twoJobs);

    WithoutLease(pelmora, QStringLiteral("framework-res.apk"), framework);
    WithoutLease(pelmora, QStringLiteral("1 GiB package"),
                 BuildLargePackage(directory.path(), QStringLiteral("1G.apk"), qint64(1) << 30));
    return 0;
}
