#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

bool WriteText(const QString &path, const QString &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

} // namespace

QString BuildTestPackage(const QString &directory, const QString &fileName,
                         const TestPackage &package)
{
    QTemporaryDir source;
    QDir(source.path()).mkpath(QStringLiteral("res/values"));
    const QString version =
        package.versionName.isNull()
            ? QString()
            : QStringLiteral(" android:versionName=\"%1\"").arg(package.versionName);
    const QString sdk = package.minSdkVersion > 0
                            ? QStringLiteral("  <uses-sdk android:minSdkVersion=\"%1\"/>\n")
                                  .arg(package.minSdkVersion)
                            : QString();
    const QString manifest =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<manifest xmlns:android=\"http://schemas.android.com/apk/res/android\"\n"
                       "    package=\"%1\" android:versionCode=\"7\"%2>\n"
                       "%3"
                       "  <application android:label=\"@string/app_name\"/>\n"
                       "</manifest>\n")
            .arg(package.packageName, version, sdk);
    const QString strings =
        QStringLiteral("<resources><string name=\"app_name\">%1</string></resources>\n")
            .arg(package.label);
    if (!WriteText(source.filePath(QStringLiteral("AndroidManifest.xml")), manifest) ||
        !WriteText(source.filePath(QStringLiteral("res/values/strings.xml")), strings))
        return {};

    const QString output = QDir(directory).filePath(fileName);
    QProcess aapt;
    aapt.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    aapt.start(QStringLiteral(SYSTEM_AAPT),
               {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-M"),
                source.filePath(QStringLiteral("AndroidManifest.xml")), QStringLiteral("-S"),
                source.filePath(QStringLiteral("res")), QStringLiteral("-I"),
                QStringLiteral(FRAMEWORK_RES), QStringLiteral("-F"), output});
    if (!aapt.waitForFinished(-1) || aapt.exitStatus() != QProcess::NormalExit ||
        aapt.exitCode() != 0)
        return {};
    return output;
}

bool RunningInCopy()
{
    return qEnvironmentVariableIsSet("PELMORA_TEST_COPY");
}

int RunCopyBesideTool(const QString &tool, const QString &testFunction, const QString &toolMode,
                      bool throughLink)
{
    QTemporaryDir scratch;
    const QDir directory(scratch.filePath(QStringLiteral("program dir 'x' \"y\" $(true)")));
    const QDir elsewhere(scratch.filePath(QStringLiteral("elsewhere")));
    if (!directory.mkpath(QStringLiteral(".")) || !elsewhere.mkpath(QStringLiteral(".")))
        return -1;
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QString copy = directory.filePath(name);
    if (!QFile::copy(QCoreApplication::applicationFilePath(), copy))
        return -1;
    if (!tool.isEmpty() && !QFile::link(tool, directory.filePath(QStringLiteral("aapt"))))
        return -1;
    if (throughLink) {
        if (!QFile::link(copy, elsewhere.filePath(name)))
            return -1;
        copy = elsewhere.filePath(name);
    }

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELMORA_TEST_COPY"), QStringLiteral("1"));
    if (!toolMode.isEmpty())
        environment.insert(QStringLiteral("FAKE_TOOL_MODE"), toolMode);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(copy, {testFunction});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
        return -1;
    return child.exitCode();
}
