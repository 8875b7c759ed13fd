// A file manager's thumbnail of framework-res.apk, as a whole process from its start to its
// exit, against a minimal Qt program that writes a 1x1 PNG. Best of 21 runs each, alternating.
// The badging tool's own run on the package is shown beside them: the thumbnailer waits for it.
// Target: thumbnail <= 2 x the minimal program.
// Usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]
#include "BenchPackages.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Rounds = 21;

// Milliseconds from spawning `arguments` until it has exited; stops the benchmark on a failure.
double RunMs(const QList<QByteArray> &arguments)
{
    const ChildRun run = RunChild(arguments);
    if (run.exitCode != 0)
        qFatal("%s failed", arguments.first().constData());
    return run.ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]\n");
        return 2;
    }
    const QByteArray package =
        argc > 3 ? QByteArray(argv[3])
                 : QByteArray("/usr/share/android-framework-res/framework-res.apk");
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
    return 0;
}
