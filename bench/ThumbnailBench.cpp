// A file manager's thumbnail of framework-res.apk, as a whole process from its start to its
// exit, against a minimal Qt program that writes a 1x1 PNG. Best of 21 runs each, alternating.
// The badging tool's own run on the package is shown beside them: the thumbnailer waits for it.
// Target: thumbnail <= 2 x the minimal program.
// Then the thumbnailer and the report (the pelmora beside the thumbnailer) on a hostile package
// of under 1 MB built here, each a process timed with its peak memory (target: under 2 s and
// 300 MiB each): an icon defined by 5 levels of aliases, each in 29 configurations.
// Usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]
#include "BenchPackages.h"
#include "tests/HostilePackages.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Rounds = 21;

const char FrameworkRes[] = "/usr/share/android-framework-res/framework-res.apk";

// Milliseconds from spawning `arguments` until it has exited; stops the benchmark on a failure.
double RunMs(const QList<QByteArray> &arguments)
{
    const ChildRun run = RunChild(arguments);
    if (run.exitCode != 0)
        qFatal("%s failed", arguments.first().constData());
    return run.ms;
}

// Four levels of aliases in 29 configurations, and a colour in each of them: 29^5 values, and
// no bitmap among them, so there is no icon whatever the thumbnailer does.
QString BuildAliasedIconPackage(const QString &directory)
{
    const QDir source(directory);
    const auto write = [](const QString &file, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file));
    };
    write(source.filePath(QStringLiteral("AndroidManifest.xml")),
          "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
          "package='org.example.aliases'><application android:icon='@drawable/l0'/></manifest>");
    for (const auto &[path, bytes] : AliasedIcon(4, 29, {}, "#3366ff"))
        write(source.filePath(QStringLiteral("res/") + path), bytes);
    const QString package = source.filePath(QStringLiteral("unsigned.apk"));
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-M"),
              source.filePath(QStringLiteral("AndroidManifest.xml")), QStringLiteral("-S"),
              source.filePath(QStringLiteral("res")), QStringLiteral("-I"),
              QLatin1String(FrameworkRes), QStringLiteral("-F"), package},
             directory);
    // Signed, so that the report reads it in full although aapt complains of its icon.
    const QString signedPackage = source.filePath(QStringLiteral("aliases.apk"));
    SignBenchPackage(MakeBenchKey(directory), package, signedPackage);
    if (QFileInfo(signedPackage).size() >= 1000 * 1000)
        qFatal("the hostile package is not under 1 MB");
    return signedPackage;
}

void MeasureHostile(const QString &name, const QList<QByteArray> &arguments)
{
    ChildRun best;
    best.ms = 1e300;
    for (int round = 0; round < 5; ++round) {
        const ChildRun run = RunChild(arguments);
        if (run.ms < best.ms)
            best = run;
    }
    std::printf("%s: %.1f ms, peak RSS %.1f MiB\n", qPrintable(name), best.ms, best.peakRssMiB);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]\n");
        return 2;
    }
    const QByteArray package = argc > 3 ? QByteArray(argv[3]) : QByteArray(FrameworkRes);
    QTemporaryDir scratch;
    const QByteArray output = QFile::encodeName(scratch.filePath(QStringLiteral("out.png")));
    const QByteArray tool = QFile::encodeName(
        QFileInfo(QFile::decodeName(argv[1])).dir().filePath(QStringLiteral("aapt")));
    double thumbnail = 1e300, minimal = 1e300, badging = 1e300;
    for (int round = 0; round < Rounds; ++round) {
        thumbnail = std::min(thumbnail, RunMs({argv[1], "-s", "256", package, output}));
        minimal = std::min(minimal, RunMs({argv[2], output}));
        badging = std::min(badging, RunMs({tool, "dump", "badging", package}));
    }
    std::printf("thumbnail %s: %.1f ms, minimal Qt program writing a 1x1 PNG %.1f ms, ratio %.2f "
                "(target <= 2)\n  aapt dump badging alone %.1f ms\n",
                qPrintable(QFileInfo(QFile::decodeName(package)).fileName()), thumbnail, minimal,
                thumbnail / minimal, badging);

    const QString hostile = BuildAliasedIconPackage(scratch.path());
    const QString name = QStringLiteral("hostile icon defined by 5 levels of aliases in 29 "
                                        "configurations (%1 KB)")
                             .arg(QFileInfo(hostile).size() / 1000);
    const QByteArray program = QFile::encodeName(
        QFileInfo(QFile::decodeName(argv[1])).dir().filePath(QStringLiteral("pelmora")));
    MeasureHostile(QStringLiteral("thumbnail ") + name,
                   {argv[1], "-s", "256", QFile::encodeName(hostile), output});
    MeasureHostile(QStringLiteral("report ") + name,
                   {program, "--report", "--json", QFile::encodeName(hostile)});
    return 0;
}
