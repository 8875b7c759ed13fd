#include "BenchPackages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <linux/capability.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

double BestMs(int runs, const std::function<void()> &work)
{
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        best = run == 0 ? ms : qMin(best, ms);
    }
    return best;
}

QByteArray ReadBenchFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

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

QString BuildLargePackage(const QString &directory, const QString &fileName, qint64 assetSize,
                          const QString &split)
{
    QTemporaryDir source;
    QDir(source.path()).mkpath(QStringLiteral("assets"));
    QFile manifest(source.filePath(QStringLiteral("AndroidManifest.xml")));
    const QByteArray splitAttribute =
        split.isEmpty() ? QByteArray() : " split=\"" + split.toUtf8() + '"';
    if (!manifest.open(QIODevice::WriteOnly) ||
        manifest.write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<manifest xmlns:android=\"http://schemas.android.com/apk/res/android\"\n"
                       "    package=\"com.example.large\" android:versionCode=\"1\"\n"
                       "    android:versionName=\"1.0\"" +
                       splitAttribute +
                       ">\n"
                       "  <uses-sdk android:minSdkVersion=\"24\"/>\n"
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

QString BuildResourcePackage(const QString &directory, const QString &fileName,
                             const QByteArray &manifest,
                             const QList<std::pair<QString, QByteArray>> &resources)
{
    QTemporaryDir source;
    const QDir root(source.path());
    QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("AndroidManifest.xml"), manifest}};
    for (const auto &[path, bytes] : resources)
        files.append({QStringLiteral("res/") + path, bytes});
    for (const auto &[path, bytes] : std::as_const(files)) {
        root.mkpath(QFileInfo(path).path());
        QFile file(root.filePath(path));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }
    root.mkpath(QStringLiteral("res"));
    const QString output = QDir(directory).filePath(fileName);
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("package"), QStringLiteral("-f"), QStringLiteral("-M"),
              root.filePath(QStringLiteral("AndroidManifest.xml")), QStringLiteral("-S"),
              root.filePath(QStringLiteral("res")), QStringLiteral("-I"),
              QStringLiteral("/usr/share/android-framework-res/framework-res.apk"),
              QStringLiteral("-F"), output},
             directory);
    return output;
}

ChildRun RunChild(const QList<QByteArray> &arguments)
{
    QList<char *> argv;
    for (const QByteArray &argument : arguments)
        argv.append(const_cast<char *>(argument.constData()));
    argv.append(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage = {};
    if (spawned != 0 || wait4(child, &status, 0, &usage) != child)
        qFatal("%s could not run", argv[0]);
    ChildRun run;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakRssMiB = double(usage.ru_maxrss) / 1024;
    return run;
}

void RunOrDie(const QString &program, const QStringList &arguments, const QString &directory)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
}

BenchKey MakeBenchKey(const QString &directory, const QString &name, const QStringList &keyOptions)
{
    const QDir folder(directory);
    const BenchKey key{folder.filePath(name + QStringLiteral(".pk8")),
                       folder.filePath(name + QStringLiteral(".pem")),
                       folder.filePath(name + QStringLiteral("-cert.pem"))};
    RunOrDie(QStringLiteral("openssl"),
             QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
                         QStringLiteral("-subj"), QStringLiteral("/CN=Pelmora bench"),
                         QStringLiteral("-keyout"), key.pem, QStringLiteral("-out"),
                         key.certificate} +
                 keyOptions,
             directory);
    RunOrDie(QStringLiteral("openssl"),
             {QStringLiteral("pkcs8"), QStringLiteral("-topk8"), QStringLiteral("-nocrypt"),
              QStringLiteral("-in"), key.pem, QStringLiteral("-outform"), QStringLiteral("DER"),
              QStringLiteral("-out"), key.pk8},
             directory);
    return key;
}

void SignBenchPackage(const BenchKey &key, const QString &input, const QString &output,
                      const QStringList &options)
{
    RunOrDie(QStringLiteral("apksigner"),
             QStringList{QStringLiteral("sign"), QStringLiteral("--key"), key.pk8,
                         QStringLiteral("--cert"), key.certificate} +
                 options + QStringList{QStringLiteral("--out"), output, input},
             QFileInfo(output).path());
}

// A flat .apks of about 100 MiB in `directory`: its path, and each inner APK's bytes.
QString BuildBenchBundle(const QString &directory, QList<QByteArray> &apks)
{
    const struct
    {
        QString name;
        QString split;
        qint64 size;
    } apkFiles[] = {
        {QStringLiteral("base.apk"), {}, qint64(70) << 20},
        {QStringLiteral("split_config.arm64_v8a.apk"), QStringLiteral("config.arm64_v8a"),
         qint64(20) << 20},
        {QStringLiteral("split_config.xxhdpi.apk"), QStringLiteral("config.xxhdpi"),
         qint64(8) << 20},
        {QStringLiteral("split_config.zh.apk"), QStringLiteral("config.zh"), qint64(2) << 20},
    };
    const BenchKey key = MakeBenchKey(directory);
    QDir(directory).mkpath(QStringLiteral("inside"));
    for (const auto &apk : apkFiles) {
        const QString built =
            BuildLargePackage(directory, QStringLiteral("unsigned.apk"), apk.size, apk.split);
        const QString signedApk = QDir(directory).filePath(QStringLiteral("inside/") + apk.name);
        // As stores sign apps for Android 7 and later: v2 and v3.
        SignBenchPackage(key, built, signedApk,
                         {QStringLiteral("--v1-signing-enabled"), QStringLiteral("false")});
        QFile file(signedApk);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(signedApk));
        apks.append(file.readAll());
    }
    // Stored, as bundletool and split-APK installers keep APKs.
    const QString bundle = QDir(directory).filePath(QStringLiteral("bundle.apks"));
    RunOrDie(QStringLiteral("aapt"),
             {QStringLiteral("package"), QStringLiteral("-0"), QString(), QStringLiteral("-F"),
              bundle, QDir(directory).filePath(QStringLiteral("inside"))},
             directory);
    return bundle;
}

bool GiveToAnotherUser(const QString &path)
{
    return ::geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

bool SetLeaseCapability(bool on)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 lease = 1u << CAP_LEASE;
    data[0].effective = on ? data[0].effective | lease : data[0].effective & ~lease;
    return syscall(SYS_capset, &header, data) == 0;
}
