#include "BenchPackages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

QString MakeRandomFile(const QString &path, qint64 size)
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
        file.write(block.constData(), qMin<qint64>(block.size(), size - written));
    }
    return path;
}

QString BuildLargePackage(const QString &directory, const QString &fileName, qint64 assetSize)
{
    QTemporaryDir source;
    QDir(source.path()).mkpath(QStringLiteral("assets"));
    QFile manifest(source.filePath(QStringLiteral("AndroidManifest.xml")));
    if (!manifest.open(QIODevice::WriteOnly) ||
        manifest.write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<manifest xmlns:android=\"http://schemas.android.com/apk/res/android\"\n"
                       "    package=\"com.example.large\" android:versionCode=\"1\"\n"
                       "    android:versionName=\"1.0\">\n"
                       "  <application android:label=\"Large\"/>\n"
                       "</manifest>\n") < 0)
        qFatal("cannot write the manifest");
    manifest.close();
    MakeRandomFile(source.filePath(QStringLiteral("assets/large.bin")), assetSize);

    const QString output = QDir(directory).filePath(fileName);
    QProcess aapt;
    aapt.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    aapt.start(QStringLiteral("aapt"),
               {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-0"),
                QStringLiteral("bin"), QStringLiteral("-M"), manifest.fileName(),
                QStringLiteral("-A"), source.filePath(QStringLiteral("assets")),
                QStringLiteral("-I"),
                QStringLiteral("/usr/share/android-framework-res/framework-res.apk"),
                QStringLiteral("-F"), output});
    aapt.waitForFinished(-1);
    aapt.readAll();
    if (aapt.exitStatus() != QProcess::NormalExit || aapt.exitCode() != 0)
        qFatal("aapt could not build %s", qPrintable(output));
    return output;
}
