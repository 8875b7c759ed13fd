// A file manager's thumbnail, as a whole process from its start to its exit, against what a
// thumbnail needs: the baseline, a minimal Qt program that decodes a PNG icon of that size
// (the thumbnail's own) and writes it again, and the badging tool's own run on the package,
// which the thumbnailer waits for. Best of 21 runs each, alternating. On framework-res.apk
// (target: thumbnail <= 1.1 x (tool + baseline)) and on a typical package built here, signed,
// a few MiB, whose launcher icon is adaptive (target: thumbnail <= 1.5 x baseline).
// Then the thumbnailer and the report (the pelmora beside the thumbnailer) on hostile packages
// of under 1 MB built here, each a process timed with its peak memory (target: under 2 s and
// 300 MiB each): an icon defined by 5 levels of aliases, each in 29 configurations; an adaptive
// icon in 20 configurations, each a background of 5790×5790 pixels behind a vector foreground;
// an adaptive icon of two such layers; and an icon of 5790×5790 pixels, thumbnails of those three
// at 1024 pixels.
// Usage: thumbnail_bench THUMBNAILER MINIMAL_PNG [PACKAGE]
#include "BenchPackages.h"
#include "tests/support/HostilePackages.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
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

// `package`, once it is known to be under 1 MB, as the hostile packages must be.
QString UnderOneMegabyte(const QString &package)
{
    if (QFileInfo(package).size() >= 1000 * 1000)
        qFatal("%s is not under 1 MB", qPrintable(package));
    return package;
}

// Four levels of aliases in 29 configurations, and a colour in each of them: 29^5 values, and
// no bitmap among them, so there is no icon whatever the thumbnailer does.
QString BuildAliasedIconPackage(const QString &directory)
{
    const QString package = BuildResourcePackage(
        directory, QStringLiteral("unsigned.apk"),
        "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
        "package='org.example.aliases'><application android:icon='@drawable/l0'/></manifest>",
        AliasedIcon(4, 29, {}, "#3366ff"));
    // Signed, so that the report reads it in full although aapt complains of its icon.
    const QString signedPackage = QDir(directory).filePath(QStringLiteral("aliases.apk"));
    SignBenchPackage(MakeBenchKey(directory), package, signedPackage);
    return UnderOneMegabyte(signedPackage);
}

// A PNG of `side`×`side` pixels, two colours: a few kilobytes that decode to 128 MiB at 5790.
QByteArray LargePng(int side)
{
    QImage image(side, side, QImage::Format_Mono);
    image.setColorTable({qRgb(0x33, 0x66, 0xff), qRgb(0xff, 0xcc, 0x00)});
    image.fill(0);
    for (int y = side / 3; y < 2 * side / 3; ++y)
        std::fill_n(image.scanLine(y) + side / 24, side / 24, uchar(0xff));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The icons built to cost a thumbnail or a report's record time and memory, each of under 1 MB
// and each drawn from a PNG of 5790×5790 pixels: the package's path by what it holds.
QList<std::pair<QString, QString>> BuildLargeIconPackages(const QString &directory)
{
    const QByteArray large = LargePng(5790);
    const QByteArray manifest =
        "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
        "package='org.example.icons'><uses-sdk android:minSdkVersion='26'/>"
        "<application android:icon='@mipmap/ic_launcher'/></manifest>";
    const auto adaptive = [](const char *background, const char *foreground) {
        return "<adaptive-icon xmlns:android='http://schemas.android.com/apk/res/android'>"
               "<background android:drawable='@drawable/" +
               QByteArray(background) + "'/><foreground android:drawable='@drawable/" + foreground +
               "'/></adaptive-icon>";
    };
    const QByteArray vector =
        "<vector xmlns:android='http://schemas.android.com/apk/res/android' "
        "android:width='108dp' android:height='108dp' android:viewportWidth='108' "
        "android:viewportHeight='108'><path android:fillColor='#FFFFFF' "
        "android:pathData='M30,30h48v48h-48z'/></vector>";

    QList<std::pair<QString, QByteArray>> configurations = {
        {QStringLiteral("drawable-nodpi/back.png"), large},
        {QStringLiteral("drawable/front.xml"), vector}};
    static const char *const Qualifiers[] = {
        "anydpi-v26", "anydpi-v27",  "anydpi-v28", "anydpi-v29", "anydpi-v30",
        "ldpi-v26",   "mdpi-v26",    "tvdpi-v26",  "hdpi-v26",   "xhdpi-v26",
        "xxhdpi-v26", "xxxhdpi-v26", "land-v26",   "port-v26",   "night-v26",
        "en-v26",     "fr-v26",      "de-v26",     "ja-v26",     "ko-v26"};
    for (const char *qualifier : Qualifiers)
        configurations.append(
            {QStringLiteral("mipmap-%1/ic_launcher.xml").arg(QLatin1String(qualifier)),
             adaptive("back", "front")});
    return {
        {QStringLiteral("adaptive icon in 20 configurations, each a 5790×5790 background behind "
                        "a vector foreground"),
         UnderOneMegabyte(BuildResourcePackage(directory, QStringLiteral("adaptive-20.apk"),
                                               manifest, configurations))},
        {QStringLiteral("adaptive icon, a 5790×5790 foreground over a 5790×5790 background"),
         UnderOneMegabyte(BuildResourcePackage(
             directory, QStringLiteral("adaptive-layers.apk"), manifest,
             {{QStringLiteral("drawable-nodpi/back.png"), large},
              {QStringLiteral("drawable-nodpi/front.png"), large},
              {QStringLiteral("mipmap-anydpi-v26/ic_launcher.xml"), adaptive("back", "front")}}))},
        {QStringLiteral("icon of 5790×5790 pixels"),
         UnderOneMegabyte(
             BuildResourcePackage(directory, QStringLiteral("large-icon.apk"), manifest,
                                  {{QStringLiteral("mipmap-xxxhdpi/ic_launcher.png"), large}}))},
    };
}

void WriteOrDie(const QString &file, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
}

// An app as stores ship one: its launcher icon adaptive (a colour behind a 432-pixel foreground)
// with a bitmap for older launchers, 3 MiB of assets, signed with v2 and v3.
QString BuildTypicalPackage(const QString &directory)
{
    const QDir source(QDir(directory).filePath(QStringLiteral("typical")));
    WriteOrDie(source.filePath(QStringLiteral("AndroidManifest.xml")),
               "<manifest xmlns:android='http://schemas.android.com/apk/res/android' "
               "package='org.example.typical' android:versionCode='3' "
               "android:versionName='1.2'><uses-sdk android:minSdkVersion='24'/>"
               "<application android:icon='@mipmap/ic_launcher'/></manifest>");
    const auto png = [](int side) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        for (int y = side / 3; y < 2 * side / 3; ++y)
            for (int x = side / 3; x < 2 * side / 3; ++x)
                image.setPixel(x, y, qRgba(255, 200, 0, 255));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    };
    WriteOrDie(source.filePath(QStringLiteral("res/mipmap-anydpi-v26/ic_launcher.xml")),
               "<adaptive-icon xmlns:android='http://schemas.android.com/apk/res/android'>"
               "<background android:drawable='@color/background'/>"
               "<foreground android:drawable='@drawable/foreground'/></adaptive-icon>");
    WriteOrDie(source.filePath(QStringLiteral("res/values/colors.xml")),
               "<resources><color name='background'>#3366FF</color></resources>");
    WriteOrDie(source.filePath(QStringLiteral("res/drawable-xxxhdpi/foreground.png")), png(432));
    WriteOrDie(source.filePath(QStringLiteral("res/mipmap-xxhdpi/ic_launcher.png")), png(144));
    QDir().mkpath(source.filePath(QStringLiteral("assets")));
    MakeRandomFile(source.filePath(QStringLiteral("assets/data.bin")), qint64(3) << 20);
    const QString package = source.filePath(QStringLiteral("unsigned.apk"));
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-M"),
              source.filePath(QStringLiteral("AndroidManifest.xml")), QStringLiteral("-S"),
              source.filePath(QStringLiteral("res")), QStringLiteral("-A"),
              source.filePath(QStringLiteral("assets")), QStringLiteral("-I"),
              QLatin1String(FrameworkRes), QStringLiteral("-F"), package},
             directory);
    const QString signedPackage = QDir(directory).filePath(QStringLiteral("typical.apk"));
    SignBenchPackage(MakeBenchKey(directory, QStringLiteral("typical")), package, signedPackage,
                     {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false")});
    return signedPackage;
}

struct ThumbnailTimes
{
    double thumbnail = 1e300;
    double baseline = 1e300;
    double tool = 1e300;
};

ThumbnailTimes MeasureThumbnail(const QByteArray &thumbnailer, const QByteArray &minimalPng,
                                const QByteArray &package, const QString &scratch)
{
    const QByteArray output = QFile::encodeName(scratch + QStringLiteral("/out.png"));
    const QByteArray again = QFile::encodeName(scratch + QStringLiteral("/again.png"));
    const QByteArray tool = QFile::encodeName(
        QFileInfo(QFile::decodeName(thumbnailer)).dir().filePath(QStringLiteral("aapt")));
    ThumbnailTimes best;
    for (int round = 0; round < Rounds; ++round) {
        best.thumbnail =
            std::min(best.thumbnail, RunMs({thumbnailer, "-s", "256", package, output}));
        best.baseline = std::min(best.baseline, RunMs({minimalPng, output, again, "256"}));
        best.tool = std::min(best.tool, RunMs({tool, "dump", "badging", package}));
    }
    return best;
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
    const ThumbnailTimes framework = MeasureThumbnail(argv[1], argv[2], package, scratch.path());
    std::printf("thumbnail %s: %.1f ms; baseline %.1f ms; tool %.1f ms; W/(T+B) = %.2f "
                "(target <= 1.1)\n",
                qPrintable(QFileInfo(QFile::decodeName(package)).fileName()), framework.thumbnail,
                framework.baseline, framework.tool,
                framework.thumbnail / (framework.tool + framework.baseline));
    const QString typical = BuildTypicalPackage(scratch.path());
    const ThumbnailTimes times =
        MeasureThumbnail(argv[1], argv[2], QFile::encodeName(typical), scratch.path());
    std::printf("thumbnail %s (%.1f MiB, adaptive icon): %.1f ms; baseline %.1f ms; tool %.1f ms; "
                "W/B = %.2f (target <= 1.5)\n",
                qPrintable(QFileInfo(typical).fileName()),
                double(QFileInfo(typical).size()) / (1 << 20), times.thumbnail, times.baseline,
                times.tool, times.thumbnail / times.baseline);

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
    // Thumbnails as large as file managers ask for, where decoding costs the most.
    for (const auto &[what, path] : BuildLargeIconPackages(scratch.path())) {
        const QString named =
            QStringLiteral("hostile %1 (%2 KB)").arg(what).arg(QFileInfo(path).size() / 1000);
        MeasureHostile(QStringLiteral("thumbnail 1024 ") + named,
                       {argv[1], "-s", "1024", QFile::encodeName(path), output});
        MeasureHostile(QStringLiteral("report ") + named,
                       {program, "--report", "--json", QFile::encodeName(path)});
    }
    return 0;
}
