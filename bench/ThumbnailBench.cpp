// A file manager's thumbnail of framework-res.apk, as a whole process from its start to its
// exit, against a minimal Qt program that writes a 1x1 PNG. Best of 21 runs each, alternating.
// The badging tool's own run on the package is shown beside them: the thumbnailer waits for it.
// Target: thumbnail <= 2 x the minimal program.
// Usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int Rounds = 21;

// Milliseconds from spawning `arguments` until it has exited; stops the benchmark on a failure.
double RunMs(const QList<QByteArray> &arguments)
{
    QList<char *> argv;
    for (const QByteArray &argument : arguments)
        argv.append(const_cast<char *>(argument.constData()));
    argv.append(nullptr);
    // What the tool prints goes nowhere, as a file manager would not read it either.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int status = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        qFatal("%s failed", argv[0]);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
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
