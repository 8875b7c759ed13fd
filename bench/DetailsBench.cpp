// Opening the details window against the digests it computes, each run in memory.
//   open: the whole model (one read for MD5, SHA-1 and SHA-256, the tool output parsed, the icon
//         read from the archive) and the dialog built from it, offscreen
//   in memory: EVP MD5, SHA-1 and SHA-256 one after another over the file's bytes in memory
//   archive and icon: opening the archive and reading the icon, which comes on top of the target
// Target: open <= 1.10 x in memory, plus the icon; the file in the page cache.
// Usage: details_bench [PACKAGE]   (framework-res.apk by default)
#include "archive/ZipArchive.h"
#include "details/PackageDetails.h"
#include "digest/Digest.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "ui/DetailsDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 15;

// Keeps the fastest of the runs it is given: on a shared machine, the one least disturbed.
class Best
{
public:
    void time(const std::function<void()> &work)
    {
        QElapsedTimer timer;
        timer.start();
        work();
        milliseconds = std::min(milliseconds, double(timer.nsecsElapsed()) / 1e6);
    }
    double ms() const { return milliseconds; }

private:
    double milliseconds = 1e300;
};

InspectedPackage Inspect(const QString &path)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/aapt"),
               {QStringLiteral("dump"), QStringLiteral("badging"), path});
    tool.waitForFinished(-1);
    QByteArray md5;
    ComputeFileMd5(QFile::encodeName(path), md5);
    return {QFile::encodeName(path), tool.readAll(), md5};
}

void OpenDetails(const InspectedPackage &inspected)
{
    const PackageDetails details = LoadPackageDetails(inspected);
    if (details.fileChanged || !details.icon)
        qFatal("the details lack digests or an icon");
    CDetailsDlg dialog(details.facts.packageName);
    dialog.addSection(PackageSection(details));
    dialog.addSection(SignatureSection(details));
}

void DigestInMemory(const QByteArray &bytes)
{
    for (DigestAlgorithm algorithm :
         {DigestAlgorithm::Md5, DigestAlgorithm::Sha1, DigestAlgorithm::Sha256}) {
        Digest digest(algorithm);
        digest.update(bytes.constData(), std::size_t(bytes.size()));
        digest.finish();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    ZipArchive::NameTimeZoneFile(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString path = argc > 1
                             ? QString::fromLocal8Bit(argv[1])
                             : QStringLiteral("/usr/share/android-framework-res/framework-res.apk");
    const InspectedPackage inspected = Inspect(path);
    const QList<IconEntry> icons = ReadPackageFacts(inspected.toolOutput).icons;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray bytes = file.readAll();

    // Alternating, so that all meet the same load.
    Best open, inMemory, icon;
    for (int round = 0; round < Rounds; ++round) {
        open.time([&] { OpenDetails(inspected); });
        inMemory.time([&] { DigestInMemory(bytes); });
        icon.time([&] { ReadBitmapIcon(ZipArchive(SafeFile(inspected.path)), icons); });
    }
    std::printf("details %s: open %.1f ms, digests in memory %.1f ms, ratio %.3f\n",
                qPrintable(QFileInfo(path).fileName()), open.ms(), inMemory.ms(),
                open.ms() / inMemory.ms());
    std::printf("  archive and icon %.1f ms; ratio without them %.3f (target <= 1.10)\n", icon.ms(),
                (open.ms() - icon.ms()) / inMemory.ms());
    return 0;
}
