#include "CommandLine.h"

#include "inspect/LocalPath.h"
#include "signing/ExpectedSigner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const QString Usage = QStringLiteral(
    "用法：pelmora [选项] [文件...]\n"
    "      pelmora --report [--json] [--jobs N] [--tool-timeout S] [--expect-signer SHA256]... "
    "路径...\n"
    "      pelmora --compare [--json] 旧包 新包\n"
    "显示 Android 应用包（apk）的路径、包名、MD5 值和版本号。\n"
    "\n"
    "  文件                   打开窗口后立即检查的 apk 文件（路径或 file:// 地址）；\n"
    "                         给出多个时只检查第一个\n"
    "  --report               不打开窗口，把每个包的全部信息写到标准输出；\n"
    "                         路径为文件或文件夹（递归查找 apk 文件）\n"
    "  --compare              不打开窗口，判断新包能否作为更新安装在旧包之上，\n"
    "                         并列出两者的差异\n"
    "  --json                 报告以 JSON Lines 输出，每个包一行；比较结果为一行 JSON\n"
    "  --jobs N               同时检查的包数（默认：CPU 核数）\n"
    "  --tool-timeout S       aapt 检查一个包最多可用的秒数（默认：10），超时的包\n"
    "                         视为已损坏\n"
    "  --expect-signer SHA256 要求签名者证书的 SHA-256 为此值之一（可重复）\n"
    "  -h, --help             显示本帮助并退出\n"
    "  -v, --version          显示版本并退出\n");

const QString JobsName = QStringLiteral("jobs");
const QString ExpectSignerName = QStringLiteral("expect-signer");
const QString ToolTimeoutName = QStringLiteral("tool-timeout");
// A day: longer is no limit a report needs, and the milliseconds still fit an int.
constexpr double MaxToolTimeoutSeconds = 86400;

// Positional arguments as QCommandLineParser counts them: anything not starting with "-", a
// lone "-", and everything after "--"; the values of the options that take one are not.
QList<QByteArray> Positionals(const QList<QByteArray> &arguments)
{
    QList<QByteArray> files;
    bool optionsEnded = false;
    bool valueNext = false;
    for (const QByteArray &argument : arguments) {
        if (valueNext)
            valueNext = false;
        else if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (optionsEnded || !argument.startsWith('-') || argument == "-")
            files.append(argument);
        else
            valueNext = argument == "--" + JobsName.toLatin1() ||
                        argument == "--" + ExpectSignerName.toLatin1() ||
                        argument == "--" + ToolTimeoutName.toLatin1();
    }
    return files;
}

QByteArray AsAbsolutePath(const QByteArray &file)
{
    if (file.startsWith("file:"))
        return LocalPathFromUri(file);
    if (file.startsWith('/'))
        return file;
    // The working directory's own bytes: decoding them would break a folder named in GBK.
    const std::unique_ptr<char, decltype(&std::free)> directory(::getcwd(nullptr, 0), &std::free);
    return directory ? QByteArray(directory.get()) + '/' + file : QByteArray();
}

// A path as a script gives it: a file:// URI as its path, a relative name as it is.
QByteArray AsGivenPath(const QByteArray &file)
{
    return file.startsWith("file:") ? LocalPathFromUri(file) : file;
}

CommandLine Mistake(const QString &what)
{
    CommandLine result;
    result.exitNow = true;
    result.exitCode = 2;
    result.output = QStringLiteral("pelmora：%1；请用 pelmora --help 查看用法。\n").arg(what);
    result.toStandardError = true;
    return result;
}

// "--tool-timeout S": seconds, a fraction allowed; nothing when S is no number in range.
std::optional<std::chrono::milliseconds> ToolTimeout(const QString &seconds)
{
    bool number = false;
    const double value = seconds.toDouble(&number);
    if (!number || !(value > 0 && value <= MaxToolTimeoutSeconds))
        return std::nullopt;
    return std::chrono::milliseconds(qMax(1LL, qint64(std::ceil(value * 1000))));
}

CommandLine Printed(const QString &text)
{
    CommandLine result;
    result.exitNow = true;
    result.output = text;
    return result;
}

} // namespace

CommandLine ParseCommandLine(const QList<QByteArray> &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本帮助并退出"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本并退出"));
    const QCommandLineOption report(QStringLiteral("report"));
    const QCommandLineOption compare(QStringLiteral("compare"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption jobs(JobsName, {}, QStringLiteral("N"));
    const QCommandLineOption expectSigner(ExpectSignerName, {}, QStringLiteral("SHA256"));
    const QCommandLineOption toolTimeout(ToolTimeoutName, {}, QStringLiteral("S"));
    parser.addOptions({help, version, report, compare, json, jobs, expectSigner, toolTimeout});
    QStringList texts{QStringLiteral("pelmora")};
    for (const QByteArray &argument : arguments)
        texts.append(QString::fromLocal8Bit(argument));

    if (!parser.parse(texts)) {
        const QStringList unknown = parser.unknownOptionNames();
        return Mistake(unknown.isEmpty() ? parser.errorText()
                                         : QStringLiteral("未知选项 “%1”").arg(unknown.first()));
    }
    if (parser.isSet(help))
        return Printed(Usage);
    if (parser.isSet(version))
        return Printed(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                     QCoreApplication::applicationVersion()));
    const QList<QByteArray> files = Positionals(arguments);
    CommandLine result;
    if (parser.isSet(compare)) {
        for (const QCommandLineOption &other : {report, jobs, expectSigner, toolTimeout})
            if (parser.isSet(other))
                return Mistake(QStringLiteral("选项 “--%1” 不能与 --compare 一起使用")
                                   .arg(other.names().first()));
        if (files.size() != 2)
            return Mistake(QStringLiteral("--compare 需要两个文件：旧包和新包"));
        result.compare = true;
        result.compareRequest = {parser.isSet(json), AsGivenPath(files[0]), AsGivenPath(files[1])};
        return result;
    }
    if (!parser.isSet(report)) {
        if (parser.isSet(json))
            return Mistake(QStringLiteral("选项 “--json” 只能与 --report 或 --compare 一起使用"));
        for (const QCommandLineOption &reportOnly : {jobs, expectSigner, toolTimeout})
            if (parser.isSet(reportOnly))
                return Mistake(QStringLiteral("选项 “--%1” 只能与 --report 一起使用")
                                   .arg(reportOnly.names().first()));
        if (!files.isEmpty())
            result.file = AsAbsolutePath(files.first());
        return result;
    }

    result.report = true;
    ReportRequest &request = result.reportRequest;
    request.json = parser.isSet(json);
    if (parser.isSet(jobs)) {
        bool number = false;
        request.jobs = parser.value(jobs).toInt(&number);
        if (!number || request.jobs < 1)
            return Mistake(
                QStringLiteral("--jobs 需要一个正整数，而不是 “%1”").arg(parser.value(jobs)));
    }
    if (parser.isSet(toolTimeout)) {
        const std::optional<std::chrono::milliseconds> timeout =
            ToolTimeout(parser.value(toolTimeout));
        if (!timeout)
            return Mistake(
                QStringLiteral("--tool-timeout 需要一个不超过 %1 的正数（秒），而不是 “%2”")
                    .arg(MaxToolTimeoutSeconds)
                    .arg(parser.value(toolTimeout)));
        request.toolTimeout = *timeout;
    }
    for (const QString &value : parser.values(expectSigner)) {
        const QByteArray digest = ParseSha256Fingerprint(value);
        if (digest.isEmpty())
            return Mistake(QStringLiteral("“%1” 不是 SHA-256 摘要").arg(value));
        request.expectedSigners.append(digest);
    }
    for (const QByteArray &file : files)
        request.paths.append(AsGivenPath(file));
    if (request.paths.isEmpty())
        return Mistake(QStringLiteral("--report 需要至少一个文件或文件夹"));
    return result;
}
