// Pelmora's speed and memory figures, each as a ratio against a baseline taken in the same run.
//   digest: ComputeFileMd5 on 64 MiB and 1 GiB files against EVP MD5 over the same bytes in
//           memory (target >= 0.95 of its speed) and against `openssl md5` (target <= 0.95 of
//           its time); peak RSS growth while hashing 1 GiB (target <= 2 MiB)
//   inspection: one whole drop of framework-res.apk on the window against the tool run plus the
//           in-memory digest (target overhead <= 3 %)
#include "digest/FileMd5.h"
#include "ui/PelmoraDlg.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
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

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString MakeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray block(1 << 20, 0);
    quint64 state = 88172645463325252ull;
    for (qint64 written = 0; written < size; written += block.size()) {
        for (char &byte : block) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            byte = char(state);
        }
        file.write(block);
    }
    return path;
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
    const QByteArray bytes = ReadAll(path);
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

void DropOnWindow(CPelmoraDlg &dialog, const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    // Qt delivers a drop only to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
}

void Inspection(const QString &path, int rounds)
{
    CPelmoraDlg dialog;
    dialog.show();
    const QString aapt = QCoreApplication::applicationDirPath() + QStringLiteral("/aapt");
    const QByteArray bytes = ReadAll(path);
    std::vector<double> whole, baseline;
    QByteArray out;
    for (int i = 0; i < rounds; ++i) {
        whole.push_back(Seconds([&] { DropOnWindow(dialog, path); }));
        baseline.push_back(Seconds([&] {
            RunQuietly(aapt, {QStringLiteral("dump"), QStringLiteral("badging"), path});
            Md5Hex(quint32(bytes.size()), bytes.data(), out);
        }));
    }
    if (qobject_cast<QLineEdit *>(dialog.GetDlgItem(CPelmoraDlg::Md5Box))->text().isEmpty())
        qFatal("the inspection showed no digest");
    const double w = Best(whole), b = Best(baseline);
    std::printf("inspection of framework-res.apk: %.1f ms, tool + in-memory digest %.1f ms\n",
                w * 1e3, b * 1e3);
    std::printf("  overhead: %+.1f %% (target <= 3 %%)\n", (w / b - 1) * 100);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir directory;
    const QString small = MakeFile(directory.filePath(QStringLiteral("64M.apk")), qint64(64) << 20);
    const QString large = MakeFile(directory.filePath(QStringLiteral("1G.apk")), qint64(1) << 30);

    Digest(small, 15);
    PeakMemory(large);
    Digest(large, 5);
    Inspection(QStringLiteral("/usr/share/android-framework-res/framework-res.apk"), 15);
    return 0;
}
