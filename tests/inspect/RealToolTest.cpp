// The real aapt on real packages, reached the way the program reaches it: through the "aapt"
// link beside this executable.
#include "TestSupport.h"
#include "inspect/BadgingCommand.h"
#include "inspect/BadgingParser.h"
#include "inspect/ToolCapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class RealToolTest : public QObject
{
    Q_OBJECT

private slots:
    void inspectsRealPackages_data();
    void inspectsRealPackages();
    void randomBytesAreADamagedPackage();

private:
    static BadgingStatus Inspect(const QString &path, BadgingInfo &info);
    QTemporaryDir directory;
};

BadgingStatus RealToolTest::Inspect(const QString &path, BadgingInfo &info)
{
    QStringList command;
    QByteArray output;
    if (!BuildBadgingCommand(command, path) || !RunToolCapture(command, output))
        return NoOutput;
    return ParseBadging(output, info);
}

void RealToolTest::inspectsRealPackages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("version");

    const auto build = [this](const char *file, const TestPackage &package) {
        return BuildTestPackage(directory.path(), QString::fromUtf8(file), package);
    };
    QTest::newRow("plain") << build("plain.apk", {QStringLiteral("com.example.plain"),
                                                  QStringLiteral("1.2.0"), QStringLiteral("Plain")})
                           << QByteArray("com.example.plain") << QByteArray("1.2.0");
    QTest::newRow("Chinese label and file name")
        << build("示例 应用.apk", {QStringLiteral("cn.example.app"), QStringLiteral("2.0"),
                                   QStringLiteral("示例应用")})
        << QByteArray("cn.example.app") << QByteArray("2.0");
    QTest::newRow("no versionName") << build("noversion.apk", {QStringLiteral("com.example.nov"),
                                                               QString(), QStringLiteral("X")})
                                    << QByteArray("com.example.nov") << QByteArray();
    QTest::newRow("versionName with blanks")
        << build("blanks.apk", {QStringLiteral("com.example.blank"), QStringLiteral("1.0 beta 2"),
                                QStringLiteral("B")})
        << QByteArray("com.example.blank") << QByteArray("1.0 beta 2");
    QTest::newRow("framework-res.apk")
        << QStringLiteral(FRAMEWORK_RES) << QByteArray("android") << QByteArray("10.0.0");
}

void RealToolTest::inspectsRealPackages()
{
    QFETCH(QString, path);
    QVERIFY2(!path.isEmpty(), "the test package could not be built");
    BadgingInfo info;
    QCOMPARE(Inspect(path, info), Parsed);
    QTEST(info.packageName, "package");
    QTEST(info.versionName, "version");
}

void RealToolTest::randomBytesAreADamagedPackage()
{
    QFile file(directory.filePath(QStringLiteral("x.apk")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray noise(4096, 0);
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    file.write(noise);
    file.close();
    BadgingInfo info;
    QCOMPARE(Inspect(file.fileName(), info), ToolError);
}

QTEST_GUILESS_MAIN(RealToolTest)
#include "RealToolTest.moc"
