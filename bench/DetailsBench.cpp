// Opening the details window against the digests it computes, each run in memory.
//   open: the whole model (one read for MD5, SHA-1 and SHA-256, the tool output parsed, the icon
//         read from the archive) and the dialog built from it, offscreen
//   in memory: EVP MD5, SHA-1 and SHA-256 one after another over the file's bytes in memory
//   archive and icon: opening the archive and reading the icon, which comes on top of the target
// Target: open <= 1.10 x in memory, plus the icon; the file in the page cache.
// Then a flat .apks of about 100 MiB built here, a base and three splits signed with v2 and v3:
//   open: as above, every inner APK read into memory and its signature checked
//   against: one in-memory SHA-256 pass over each inner APK, summed
// Target: open <= 1.3 x the inner passes.
// Usage: details_bench [PACKAGE]   (framework-res.apk by default)
#include "BenchPackages.h"
#include "archive/ZipArchive.h"
#include "details/LauncherIcon.h"
#include "details/PackageDetails.h"
#include "digest/Digest.h"
#include "digest/FileMd5.h"
#include "digest/SafeFile.h"
#include "ui/DetailsDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
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

// What the inspection leaves: the tool's output for `toolSaw` (the package itself, or a bundle's
// base), the MD5 of `path` and the base's entry for a bundle.
InspectedPackage Inspect(const QString &path, const QString &toolSaw = {},
                         const QByteArray &baseEntry = {})
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(
        QCoreApplication::applicationDirPath() + QStringLiteral("/aapt"),
        {QStringLiteral("dump"), QStringLiteral("badging"), toolSaw.isEmpty() ? path : toolSaw});
    tool.waitForFinished(-1);
    QByteArray md5;
    ComputeFileMd5(QFile::encodeName(path), md5);
    return {QFile::encodeName(path), tool.readAll(), md5, baseEntry,
            std::make_shared<const PackageFile>(QFile::encodeName(path))};
}

void OpenDetails(const InspectedPackage &inspected, bool withIcon)
{
    const PackageDetails details = LoadPackageDetails(inspected);
    if (details.fileChanged || (withIcon && !details.icon))
        qFatal("the details lack digests or an icon");
    if (details.bundle && BundleVerdict(*details.bundle) != SignatureVerdict::Verified)
        qFatal("the bundle does not verify");
    CDetailsDlg dialog(details.facts.packageName);
    for (const DetailsSection &section : DetailsSections(details))
        dialog.addSection(section);
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
        open.time([&] { OpenDetails(inspected, true); });
        inMemory.time([&] { DigestInMemory(bytes); });
        icon.time([&] { ReadLauncherIcon(ZipArchive(SafeFile(inspected.path)), icons); });
    }
    std::printf("details %s: open %.1f ms, digests in memory %.1f ms, ratio %.3f\n",
                qPrintable(QFileInfo(path).fileName()), open.ms(), inMemory.ms(),
                open.ms() / inMemory.ms());
    std::printf("  archive and icon %.1f ms; ratio without them %.3f (target <= 1.10)\n", icon.ms(),
                (open.ms() - icon.ms()) / inMemory.ms());

    QTemporaryDir directory;
    QList<QByteArray> apks;
    const QString bundle = BuildBenchBundle(directory.path(), apks);
    const InspectedPackage bundleInspected =
        Inspect(bundle, QDir(directory.path()).filePath(QStringLiteral("base.apk")), "base.apk");
    Best bundleOpen, innerPasses, bundleDigests;
    for (int round = 0; round < Rounds; ++round) {
        bundleOpen.time([&] { OpenDetails(bundleInspected, false); });
        innerPasses.time([&] {
            for (const QByteArray &apk : std::as_const(apks))
                DigestOf(DigestAlgorithm::Sha256, apk);
        });
        bundleDigests.time([&] { ComputeFileDigests(SafeFile(bundleInspected.path)); });
    }
    std::printf("details bundle %s: open %.1f ms, inner APKs' in-memory SHA-256 %.1f ms, "
                "ratio %.3f (target <= 1.3)\n",
                qPrintable(QFileInfo(bundle).fileName()), bundleOpen.ms(), innerPasses.ms(),
                bundleOpen.ms() / innerPasses.ms());
    std::printf("  the bundle file's MD5, SHA-1 and SHA-256 %.1f ms; ratio without them %.3f\n",
                bundleDigests.ms(), (bundleOpen.ms() - bundleDigests.ms()) / innerPasses.ms());
    return 0;
}
