// Running the tool: arguments passed intact, output reassembled, nothing of ours inherited, and
// a tool that runs past its time or writes past its cap killed.
#include "inspect/ToolCapture.h"

#include "TestSupport.h"
#include "base/ProgramDirectory.h"
#include "inspect/BadgingCommand.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList FakeToolCommand(const char *mode)
{
    qputenv("FAKE_TOOL_MODE", mode);
    return {QStringLiteral(FAKE_TOOL), QStringLiteral("dump"), QStringLiteral("badging"),
            QStringLiteral("p.apk")};
}

} // namespace

class ToolCaptureTest : public QObject
{
    Q_OBJECT

private slots:
    void packagePathReachesTheToolAsOneArgument();
    void toolIsFoundBesideTheResolvedExecutable();
    void nullPathBuildsNoCommand();
    void outputArrivesWholeAndInOrder();
    void childInheritsOnlyStandardDescriptors();
    void toolThatCannotStartAppendsNothing_data();
    void toolThatCannotStartAppendsNothing();
    void toolPastItsLimitsIsKilled_data();
    void toolPastItsLimitsIsKilled();
};

// Runs in a copy of this executable whose directory holds the fake tool as "aapt".
class BesideFakeTool : public QObject
{
    Q_OBJECT

private slots:
    void hostileNames_data();
    void hostileNames();
    void programDirectory();
};

void ToolCaptureTest::packagePathReachesTheToolAsOneArgument()
{
    QCOMPARE(RunCopyBesideTool(QStringLiteral(FAKE_TOOL), QStringLiteral("hostileNames"),
                               QStringLiteral("argv")),
             0);
}

void ToolCaptureTest::toolIsFoundBesideTheResolvedExecutable()
{
    QCOMPARE(RunCopyBesideTool(QStringLiteral(FAKE_TOOL), QStringLiteral("programDirectory"),
                               QStringLiteral("argv"), true),
             0);
}

void ToolCaptureTest::nullPathBuildsNoCommand()
{
    QStringList command;
    QCOMPARE(BuildBadgingCommand(command, QString()), 0);
    QVERIFY(command.isEmpty());
}

void ToolCaptureTest::outputArrivesWholeAndInOrder()
{
    QTemporaryDir directory;
    const QString log = directory.filePath(QStringLiteral("sent"));
    qputenv("FAKE_TOOL_LOG", QFile::encodeName(log));
    QByteArray output("kept|");
    QCOMPARE(RunToolCapture(FakeToolCommand("chunks"), output), 1);

    QFile sent(log);
    QVERIFY(sent.open(QIODevice::ReadOnly));
    const QByteArray expected = "kept|" + sent.readAll();
    QVERIFY(expected.size() > (1 << 20));
    QCOMPARE(output.size(), expected.size());
    QVERIFY(output == expected);
}

void ToolCaptureTest::childInheritsOnlyStandardDescriptors()
{
    // Descriptors a careless program would hand down: no close-on-exec on any of them.
    const int file = ::open("/dev/null", O_RDONLY);
    int pipeEnds[2];
    QVERIFY(file >= 0 && ::pipe(pipeEnds) == 0);
    QByteArray output;
    QCOMPARE(RunToolCapture(FakeToolCommand("fds"), output), 1);
    ::close(file);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    QCOMPARE(output, QByteArray("0 1 2 stdin=/dev/null"));
}

void ToolCaptureTest::toolThatCannotStartAppendsNothing_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::newRow("missing") << QStringList{QStringLiteral("/nonexistent/aapt"),
                                            QStringLiteral("dump")};
    QTest::newRow("a directory") << QStringList{QStringLiteral("/tmp")};
    QTest::newRow("not executable") << QStringList{QStringLiteral(FRAMEWORK_RES)};
    QTest::newRow("empty command") << QStringList{};
    QTest::newRow("empty program") << QStringList{QString(), QStringLiteral("dump")};
}

void ToolCaptureTest::toolThatCannotStartAppendsNothing()
{
    QFETCH(QStringList, command);
    QByteArray output("untouched");
    QCOMPARE(RunToolCapture(command, output), 0);
    QCOMPARE(output, QByteArray("untouched"));
}

void ToolCaptureTest::toolPastItsLimitsIsKilled_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<bool>("wroteTooMuch");
    QTest::newRow("never ends") << QByteArray("hang") << 300 << true << false;
    QTest::newRow("writes without end or pause") << QByteArray("flood") << 60000 << false << true;
    QTest::newRow("ends after a pause, within its time")
        << QByteArray("late-error") << 20000 << false << false;
}

void ToolCaptureTest::toolPastItsLimitsIsKilled()
{
    QFETCH(QByteArray, mode);
    QFETCH(int, timeoutMs);
    QFETCH(bool, timedOut);
    QFETCH(bool, wroteTooMuch);
    ToolRun tool(FakeToolCommand(mode.constData()), -1, std::chrono::milliseconds(timeoutMs));
    QVERIFY(tool.started());
    QByteArray output;
    QCOMPARE(tool.finish(output), 1);
    QCOMPARE(tool.timedOut(), timedOut);
    QCOMPARE(tool.wroteTooMuch(), wroteTooMuch);
    QCOMPARE(tool.endedBySignal(), timedOut || wroteTooMuch);
    // What it wrote before its end is kept; a killed tool is gone, not left running.
    QVERIFY2(output.startsWith("package: name='com.example."), output.left(100).constData());
    QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
    QCOMPARE(errno, ECHILD);
}

void BesideFakeTool::hostileNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("blank") << QStringLiteral("/tmp/my package.apk");
    QTest::newRow("double quote") << QStringLiteral("/tmp/a\"b\".apk");
    QTest::newRow("apostrophe") << QStringLiteral("/tmp/it's.apk");
    QTest::newRow("command substitution") << QStringLiteral("/tmp/$(touch pwned).apk");
    QTest::newRow("backtick") << QStringLiteral("/tmp/`id`.apk");
    QTest::newRow("shell operators") << QStringLiteral("/tmp/a; b | c & d < e > f.apk");
    QTest::newRow("newline") << QStringLiteral("/tmp/line\nbreak.apk");
    QTest::newRow("Chinese") << QStringLiteral("/tmp/安装包/微信.apk");
    QTest::newRow("dash first") << QStringLiteral("-v.apk");
    QTest::newRow("400+ bytes") << QStringLiteral("/tmp/") + QString(420, u'd') +
                                       QStringLiteral("/x.apk");
}

void BesideFakeTool::hostileNames()
{
    QFETCH(QString, path);
    QStringList command;
    QCOMPARE(BuildBadgingCommand(command, path), 1);
    QByteArray output;
    QCOMPARE(RunToolCapture(command, output), 1);

    const QByteArray expected = QFile::encodeName(ProgramDirectory() + QStringLiteral("/aapt")) +
                                '\0' + "dump" + '\0' + "badging" + '\0' + path.toUtf8() + '\0';
    QCOMPARE(output, expected);
}

void BesideFakeTool::programDirectory()
{
    // Started through a link elsewhere; the tool must still come from the real file's directory.
    const QString real = QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath();
    QVERIFY(real.contains(QStringLiteral("program dir")));
    QStringList command;
    QCOMPARE(BuildBadgingCommand(command, QStringLiteral("p.apk")), 1);
    QCOMPARE(command.first(), real + QStringLiteral("/aapt"));
    QByteArray output;
    QCOMPARE(RunToolCapture(command, output), 1);
    QVERIFY(output.startsWith(QFile::encodeName(real + QStringLiteral("/aapt"))));
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (RunningInCopy()) {
        BesideFakeTool test;
        return QTest::qExec(&test, argc, argv);
    }
    ToolCaptureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ToolCaptureTest.moc"
