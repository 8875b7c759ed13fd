// Pelmora's speed and memory figures, each as a ratio against a baseline taken in the same run.
//   digest: ComputeFileMd5 on 64 MiB and 1 GiB files against EVP MD5 over the same bytes in
//           memory (target >= 0.95 of its speed) and against `openssl md5` (target <= 0.95 of
//           its time); peak RSS growth while hashing 1 GiB (target <= 2 MiB)
//   inspection: one whole drop on the window against the tool's run alone and the file's
//           digest alone, on framework-res.apk, a 300 MiB package and a 40 MiB damaged one:
//           the digest is made while the tool runs, so a drop should cost the slower of the
//           two, not their sum (targets: whole/max <= 1.10, and whole/sum <= 0.75 where the
//           halves are alike; whole/max <= 0.5 on the damaged package, whose digest stops once
//           the tool has said "ERROR")
//   keeping a package to one content, on framework-res.apk and a 1 GiB package: opening it
//           under a read lease against opening it alone, how long a program that opens it for
//           writing waits while Pelmora holds the lease, and, where no lease is to be had
//           (measured as root without CAP_LEASE on a file another user owns), the private copy
//           and a whole drop read from it, against the drop under the lease (information)
#include "BenchPackages.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "inspect/ExtensionRule.h"
#include "inspect/ToolCapture.h"
#include "inspect/ToolTarget.h"
#include "tests/support/DropEvents.h"
#include "ui/PelmoraDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

// Best of several runs: on a shared machine the fastest run is the one least disturbed.
double Best(const std::vector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

long PeakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void ResetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void RunQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(-1);
    process.readAll();
}

void Digest(const QString &path, int rounds)
{
    std::vector<double> file, memory, openssl;
    QByteArray out;
    const QByteArray bytes = ReadBenchFile(path);
    for (int i = 0; i < rounds; ++i) {
        file.push_back(Seconds([&] { ComputeFileMd5(QFile::encodeName(path), out); }));
        memory.push_back(Seconds([&] { Md5Hex(quint32(bytes.size()), bytes.data(), out); }));
        openssl.push_back(Seconds([&] {
            RunQuietly(QStringLiteral("openssl"), {QStringLiteral("md5"), path});
        }));
    }
    const double size = double(QFile(path).size()) / (1 << 20);
    const double f = Best(file), m = Best(memory), o = Best(openssl);
    std::printf(
        "digest %5.0f MiB: file %7.1f MiB/s, in memory %7.1f MiB/s, openssl md5 %7.1f MiB/s\n",
        size, size / f, size / m, size / o);
    std::printf("  speed against in-memory EVP: %.3f (target >= 0.95)\n", m / f);
    std::printf("  time against openssl md5:    %.3f (target <= 0.95)\n", f / o);
}

void PeakMemory(const QString &path)
{
    QByteArray out;
    ComputeFileMd5(QFile::encodeName(path), out);
    ResetPeakRss();
    const long before = PeakRssKiB();
    ComputeFileMd5(QFile::encodeName(path), out);
    const long growth = PeakRssKiB() - before;
    std::printf("peak RSS growth hashing 1 GiB: %.2f MiB (target <= 2 MiB)\n", growth / 1024.0);
}

// One drop from its start until the boxes are filled, or, for a damaged package, until the
// message is up (it is then dismissed, off the clock).
double TimedDrop(CPelmoraDlg &dialog, const QString &path)
{
    QElapsedTimer timer;
    double untilMessage = -1;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (untilMessage < 0)
                untilMessage = double(timer.nsecsElapsed()) / 1e9;
            box->accept();
        }
    });
    watcher.start(0);
    timer.start();
    DropUrls(dialog, {QUrl::fromLocalFile(path)});
    const double whole = double(timer.nsecsElapsed()) / 1e9;
    return untilMessage >= 0 ? untilMessage : whole;
}

// The tool's half of an inspection: aapt on the package, or for a bundle on its base, found
// and copied into memory first.
void RunTool(const QString &path)
{
    const PackageFile package(QFile::encodeName(path));
    const ToolTarget target(package, ReadPackageName(package.path()).bundle);
    QByteArray output;
    RunToolCapture(target.command(), output, target.descriptor());
}

void Inspection(const QString &name, const QString &path, bool damaged, int rounds)
{
    CPelmoraDlg dialog;
    dialog.show();
    std::vector<double> whole, tool, digest;
    QByteArray out;
    for (int i = 0; i < rounds; ++i) {
        whole.push_back(TimedDrop(dialog, path));
        tool.push_back(Seconds([&] { RunTool(path); }));
        digest.push_back(Seconds([&] { ComputeFileMd5(QFile::encodeName(path), out); }));
    }
    const bool md5Shown =
        !qobject_cast<QLineEdit *>(dialog.GetDlgItem(CPelmoraDlg::Md5Box))->text().isEmpty();
    if (md5Shown == damaged)
        qFatal("the inspection of %s did not end as expected", qPrintable(name));
    const double w = Best(whole), t = Best(tool), d = Best(digest);
    std::printf("inspection %s: whole %.1f ms, tool %.1f ms, digest %.1f ms, whole/max = %.2f, "
                "whole/sum = %.2f\n",
                qPrintable(name), w * 1e3, t * 1e3, d * 1e3, w / std::max(t, d), w / (t + d));
}

void Keeping(const QString &name, const QString &path, int rounds)
{
    const QByteArray file = QFile::encodeName(path);
    const bool root = GiveToAnotherUser(path);
    // A window of its own for each drop, so that no package it shows stays leased meanwhile.
    const auto drop = [&] {
        CPelmoraDlg dialog;
        dialog.show();
        const double seconds = TimedDrop(dialog, path);
        if (qobject_cast<QLineEdit *>(dialog.GetDlgItem(CPelmoraDlg::Md5Box))->text().isEmpty())
            qFatal("the inspection of %s failed", qPrintable(name));
        return seconds;
    };
    std::vector<double> open, leased, writer, writerLeased, copied, whole, wholeCopied;
    for (int i = 0; i < rounds; ++i) {
        open.push_back(Seconds([&] { const SafeFile alone(file); }));
        leased.push_back(Seconds([&] { const PackageFile package(file); }));
        const auto openForWriting = [&] {
            const int fd = ::open(file.constData(), O_RDWR | O_CLOEXEC);
            if (fd < 0)
                qFatal("%s does not open for writing", file.constData());
            ::close(fd);
        };
        writer.push_back(Seconds(openForWriting));
        {
            const PackageFile package(file);
            if (package.keeping() != PackageFile::Keeping::Leased)
                qFatal("no lease on %s", file.constData());
            writerLeased.push_back(Seconds(openForWriting));
            if (!package.changed())
                qFatal("the writer went unnoticed");
        }
        whole.push_back(drop());
        if (!root || !SetLeaseCapability(false))
            continue;
        copied.push_back(Seconds([&] {
            const PackageFile package(file);
            if (package.keeping() != PackageFile::Keeping::Copied)
                qFatal("%s was not copied", file.constData());
        }));
        wholeCopied.push_back(drop());
        SetLeaseCapability(true);
    }
    std::printf("keeping %s: opened alone %.3f ms, opened and leased %.3f ms; a writer's open "
                "%.3f ms, %.3f ms while leased\n",
                qPrintable(name), Best(open) * 1e3, Best(leased) * 1e3, Best(writer) * 1e3,
                Best(writerLeased) * 1e3);
    if (copied.empty())
        std::printf("  no lease: not measured (needs root)\n");
    else
        std::printf("  no lease: private copy %.1f ms; inspection whole %.1f ms from the copy, "
                    "%.1f ms under the lease\n",
                    Best(copied) * 1e3, Best(wholeCopied) * 1e3, Best(whole) * 1e3);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir directory;
    const QString small =
        MakeRandomFile(directory.filePath(QStringLiteral("64M.apk")), qint64(64) << 20);
    const QString large =
        MakeRandomFile(directory.filePath(QStringLiteral("1G.apk")), qint64(1) << 30);

    Digest(small, 15);
    PeakMemory(large);
    Digest(large, 5);
    Inspection(QStringLiteral("framework-res.apk"),
               QStringLiteral("/usr/share/android-framework-res/framework-res.apk"), false, 15);
    Inspection(QStringLiteral("300 MiB package"),
               BuildLargePackage(directory.path(), QStringLiteral("300M.apk"), qint64(300) << 20),
               false, 7);
    Inspection(QStringLiteral("40 MiB damaged package"),
               MakeRandomFile(directory.filePath(QStringLiteral("damaged.apk")), qint64(40) << 20),
               true, 15);
    QList<QByteArray> apks;
    Inspection(QStringLiteral("bundle bundle.apks"), BuildBenchBundle(directory.path(), apks),
               false, 7);
    const QString framework = directory.filePath(QStringLiteral("framework-res.apk"));
    if (!QFile::copy(QStringLiteral("/usr/share/android-framework-res/framework-res.apk"),
                     framework))
        qFatal("framework-res.apk could not be copied");
    Keeping(QStringLiteral("framework-res.apk"), framework, 15);
    QFile::remove(large);
    Keeping(QStringLiteral("1 GiB package"),
            BuildLargePackage(directory.path(), QStringLiteral("1G-package.apk"), qint64(1) << 30),
            5);
    return 0;
}
