// Reading a package's native libraries against opening its archive alone.
//   native: the archive opened and every library's ELF program headers read, as the details
//           window does
//   archive open: the file and its archive opened, nothing read from them
// The package holds 40 libraries, 10 for each of 4 ABIs, built here by gcc and clang, each padded
// with 256 KB that compress to about half, as code does, so aapt compresses them: the slower
// case, where each library's start is inflated. Beside them sit 2,000 small entries, as in the
// apps that ship that many libraries, whose resources run to thousands of files.
// Target: native <= 1.5 x archive open; the file in the page cache.
#include "BenchPackages.h"
#include "apk/NativeLibraries.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 200;
constexpr int LibrariesPerAbi = 10;
constexpr qint64 Padding = 256 << 10;
constexpr int OtherEntries = 2000;

void Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
}

QString BuildPackage(const QDir &directory)
{
    const QString source = directory.filePath(QStringLiteral("f.c"));
    QFile code(source);
    if (!code.open(QIODevice::WriteOnly) || code.write("int f(void) { return 16; }\n") < 0)
        qFatal("cannot write %s", qPrintable(source));
    code.close();
    const QByteArray padding =
        ReadBenchFile(MakeRandomFile(directory.filePath(QStringLiteral("padding")), Padding / 2)) +
        QByteArray(Padding / 2, '\0');
    const QStringList clang{QStringLiteral("-nostdlib"), QStringLiteral("-shared"),
                            QStringLiteral("-fuse-ld=lld"),
                            QStringLiteral("-Wl,-z,max-page-size=16384"), source};
    const QList<std::tuple<QString, QString, QStringList>> abis{
        {QStringLiteral("arm64-v8a"), QStringLiteral("clang"),
         clang + QStringList{QStringLiteral("--target=aarch64-linux-gnu")}},
        {QStringLiteral("x86_64"),
         QStringLiteral("gcc"),
         {QStringLiteral("-shared"), QStringLiteral("-fPIC"),
          QStringLiteral("-Wl,-z,max-page-size=16384"), source}},
        {QStringLiteral("armeabi-v7a"), QStringLiteral("clang"),
         clang + QStringList{QStringLiteral("--target=armv7a-linux-gnueabihf")}},
        {QStringLiteral("x86"), QStringLiteral("clang"),
         clang + QStringList{QStringLiteral("--target=i686-linux-gnu")}},
    };
    const QDir raw(directory.filePath(QStringLiteral("raw")));
    for (const auto &[abi, compiler, arguments] : abis) {
        const QString built = directory.filePath(abi + QStringLiteral(".so"));
        Run(compiler, arguments + QStringList{QStringLiteral("-o"), built});
        const QByteArray library = ReadBenchFile(built) + padding;
        raw.mkpath(QStringLiteral("lib/") + abi);
        for (int i = 0; i < LibrariesPerAbi; ++i) {
            QFile copy(raw.filePath(QStringLiteral("lib/%1/lib%2.so").arg(abi).arg(i)));
            if (!copy.open(QIODevice::WriteOnly) || copy.write(library) != library.size())
                qFatal("cannot write %s", qPrintable(copy.fileName()));
        }
    }
    raw.mkpath(QStringLiteral("assets"));
    for (int i = 0; i < OtherEntries; ++i) {
        QFile asset(raw.filePath(QStringLiteral("assets/a%1.txt").arg(i)));
        if (!asset.open(QIODevice::WriteOnly) || asset.write(padding.first(1024)) != 1024)
            qFatal("cannot write %s", qPrintable(asset.fileName()));
    }
    QFile manifest(directory.filePath(QStringLiteral("AndroidManifest.xml")));
    if (!manifest.open(QIODevice::WriteOnly) ||
        manifest.write("<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
                       "package='com.example.native'><application/></manifest>\n") < 0)
        qFatal("cannot write the manifest");
    manifest.close();
    const QString package = directory.filePath(QStringLiteral("native-40.apk"));
    Run(QStringLiteral("aapt"),
        {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-M"), manifest.fileName(),
         QStringLiteral("-I"), QStringLiteral("/usr/share/android-framework-res/framework-res.apk"),
         QStringLiteral("-F"), package, raw.path()});
    return package;
}

} // namespace

int main(int argc, char *argv[])
{
    ZipArchive::NameTimeZoneFile(); // as the program does
    // Through which the formats module, which reads the libraries, is found beside the program.
    QCoreApplication application(argc, argv);
    QTemporaryDir scratch;
    const QString package = BuildPackage(QDir(scratch.path()));
    const QByteArray path = QFile::encodeName(package);

    const auto libraries = ReadNativeLibraries(ZipArchive(SafeFile(path)));
    if (!libraries || libraries->size() != 4 * LibrariesPerAbi ||
        SummarizePageSize(*libraries).support != PageSizeSupport::Compatible)
        qFatal("the package's libraries were not all read as ready");
    const double open = BestMs(Rounds, [&] {
        const SafeFile file(path);
        const ZipArchive archive(file);
        if (!archive.isOpen())
            qFatal("the archive did not open");
    });
    const double native = BestMs(Rounds, [&] {
        const SafeFile file(path);
        ReadNativeLibraries(ZipArchive(file));
    });
    std::printf("native libraries %s: %.3f ms, archive open %.3f ms, ratio %.2f (target <= 1.5)\n",
                qPrintable(QFileInfo(package).fileName()), native, open, native / open);
    return 0;
}
