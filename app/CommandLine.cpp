#include "CommandLine.h"

#include "inspect/LocalPath.h"
#include "signing/ExpectedSigner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const QString Usage = QStringLiteral(
    "用法：pelmora [选项] [文件...]\n"
    "      pelmora --report [--json] [--jobs N] [--tool-timeout S] [--expect-signer SHA256]... "
    "[--download-size] 路径...\n"
    "      pelmora --report ... [--shard K/N] [--files-from 列表] [--output 文件 [--resume]]\n"
    "      pelmora --compare [--json] 旧包 新包\n"
    "      pelmora --contents [--json] 文件\n"
    "      pelmora --manifest 文件\n"
    "显示 Android 应用包（apk）的路径、包名、MD5 值和版本号。\n"
    "\n"
    "  文件                   打开窗口后立即检查的 apk 文件（路径或 file:// 地址）；\n"
    "                         给出多个时只检查第一个\n"
    "  --report               不打开窗口，把每个包的全部信息写到标准输出；\n"
    "                         路径为文件或文件夹（递归查找 apk 文件）\n"
    "  --compare              不打开窗口，判断新包能否作为更新安装在旧包之上，\n"
    "                         并列出两者的差异\n"
    "  --contents             不打开窗口，列出包中的每个条目及其大小\n"
    "  --manifest             不打开窗口，以 XML 文本输出包（或拆分包的基础 APK）的清单\n"
    "  --json                 报告以 JSON Lines 输出，每个包一行；比较结果和条目列表\n"
    "                         各为一行 JSON\n"
    "  --jobs N               同时检查的包数（默认：CPU 核数）\n"
    "  --tool-timeout S       aapt 检查一个包最多可用的秒数（默认：10），超时的包\n"
    "                         视为已损坏\n"
    "  --expect-signer SHA256 要求签名者证书的 SHA-256 为此值之一（可重复）\n"
    "  --download-size        估计每个包的下载大小（整个文件以 gzip -9 压缩，较慢）\n"
    "  --shard K/N            只检查第 K 片的文件（共 N 片，0 ≤ K < N），\n"
    "                         分片由文件绝对路径的 SHA-256 决定\n"
    "  --files-from 列表      另从列表文件读取路径，以 NUL 分隔（“-”为标准输入）\n"
    "  --files-from-lines     列表文件每行一个路径\n"
    "  --output 文件          把 JSON 记录追加到文件，而不写到标准输出\n"
    "  --resume               先读取 --output 的文件，跳过已有完整记录的路径\n"
    "  -h, --help             显示本帮助并退出\n"
    "  -v, --version          显示版本并退出\n");

const QString JobsName = QStringLiteral("jobs");
const QString ExpectSignerName = QStringLiteral("expect-signer");
const QString ShardName = QStringLiteral("shard");
const QString FilesFromName = QStringLiteral("files-from");
const QString OutputName = QStringLiteral("output");
const QString ToolTimeoutName = QStringLiteral("tool-timeout");
// The options that take a value.
const QStringList ValueOptionNames = {JobsName,      ExpectSignerName, ShardName,
                                      FilesFromName, OutputName,       ToolTimeoutName};
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
            valueNext = argument.startsWith("--") &&
                        ValueOptionNames.contains(QString::fromLatin1(argument.mid(2)));
    }
    return files;
}

// The last value given to the option `name`, as the bytes it came as ("--name VALUE" or
// "--name=VALUE"), so that a file name that is not UTF-8 survives.
QByteArray LastValue(const QList<QByteArray> &arguments, const QString &name)
{
    const QByteArray option = "--" + name.toLatin1();
    QByteArray value;
    for (qsizetype i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == option && i + 1 < arguments.size())
            value = arguments[++i];
        else if (arguments[i].startsWith(option + '='))
            value = arguments[i].mid(option.size() + 1);
        else if (arguments[i].startsWith("--") &&
                 ValueOptionNames.contains(QString::fromLatin1(arguments[i].mid(2))))
            ++i;
    }
    return value;
}

QByteArray AsAbsolutePath(const QByteArray &file)
{
    return file.startsWith("file:") ? LocalPathFromUri(file) : AbsolutePath(file);
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

// Reads `text` as "K/N" into `request`; the mistake when it is not a shard.
std::optional<QString> ReadShard(const QString &text, ReportRequest &request)
{
    const qsizetype slash = text.indexOf(u'/');
    bool indexRead = false;
    bool countRead = false;
    const QString index = text.left(slash);
    const QString count = text.mid(slash + 1);
    const bool digits = std::all_of(text.begin(), text.end(),
                                    [](QChar c) { return c == u'/' || (c >= u'0' && c <= u'9'); });
    request.shardIndex = index.toULongLong(&indexRead);
    request.shardCount = count.toULongLong(&countRead);
    if (slash < 0 || !digits || !indexRead || !countRead)
        return QStringLiteral("--shard 需要 K/N 形式的两个整数，如 0/4，而不是 “%1”").arg(text);
    if (request.shardCount == 0)
        return QStringLiteral("--shard 的分片数 N 不能为 0");
    if (request.shardIndex >= request.shardCount)
        return QStringLiteral("--shard 的分片号 K 必须小于分片数 N，而 “%1” 不是").arg(text);
    return std::nullopt;
}

} // namespace

QByteArray AbsolutePath(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    // The working directory's own bytes: decoding them would break a folder named in GBK.
    const std::unique_ptr<char, decltype(&std::free)> directory(::getcwd(nullptr, 0), &std::free);
    return directory ? QByteArray(directory.get()) + '/' + path : QByteArray();
}

CommandLine ParseCommandLine(const QList<QByteArray> &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本帮助并退出"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本并退出"));
    const QCommandLineOption report(QStringLiteral("report"));
    const QCommandLineOption compare(QStringLiteral("compare"));
    const QCommandLineOption contents(QStringLiteral("contents"));
    const QCommandLineOption manifest(QStringLiteral("manifest"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption jobs(JobsName, {}, QStringLiteral("N"));
    const QCommandLineOption expectSigner(ExpectSignerName, {}, QStringLiteral("SHA256"));
    const QCommandLineOption shard(ShardName, {}, QStringLiteral("K/N"));
    const QCommandLineOption filesFrom(FilesFromName, {}, QStringLiteral("FILE"));
    const QCommandLineOption filesFromLines(QStringLiteral("files-from-lines"));
    const QCommandLineOption output(OutputName, {}, QStringLiteral("FILE"));
    const QCommandLineOption resume(QStringLiteral("resume"));
    const QCommandLineOption toolTimeout(ToolTimeoutName, {}, QStringLiteral("S"));
    const QCommandLineOption downloadSize(QStringLiteral("download-size"));
    parser.addOptions({help, version, report, compare, contents, manifest, json, jobs, expectSigner,
                       shard, filesFrom, filesFromLines, output, resume, toolTimeout,
                       downloadSize});
    const QList<QCommandLineOption> reportOnly = {jobs,      expectSigner,   shard,
                                                  filesFrom, filesFromLines, output,
                                                  resume,    toolTimeout,    downloadSize};
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
    if (parser.isSet(manifest)) {
        for (const QCommandLineOption &other : QList{report, compare, contents, json} + reportOnly)
            if (parser.isSet(other))
                return Mistake(QStringLiteral("选项 “--%1” 不能与 --manifest 一起使用")
                                   .arg(other.names().first()));
        if (files.size() != 1)
            return Mistake(QStringLiteral("--manifest 需要一个文件"));
        result.manifest = true;
        result.manifestRequest = {AsGivenPath(files[0])};
        return result;
    }
    if (parser.isSet(contents)) {
        for (const QCommandLineOption &other : QList{report, compare} + reportOnly)
            if (parser.isSet(other))
                return Mistake(QStringLiteral("选项 “--%1” 不能与 --contents 一起使用")
                                   .arg(other.names().first()));
        if (files.size() != 1)
            return Mistake(QStringLiteral("--contents 需要一个文件"));
        result.contents = true;
        result.contentsRequest = {parser.isSet(json), AsGivenPath(files[0])};
        return result;
    }
    if (parser.isSet(compare)) {
        for (const QCommandLineOption &other : QList{report} + reportOnly)
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
            return Mistake(
                QStringLiteral("选项 “--json” 只能与 --report、--compare 或 --contents 一起使用"));
        for (const QCommandLineOption &option : reportOnly)
            if (parser.isSet(option))
                return Mistake(QStringLiteral("选项 “--%1” 只能与 --report 一起使用")
                                   .arg(option.names().first()));
        if (!files.isEmpty())
            result.file = AsAbsolutePath(files.first());
        return result;
    }

    result.report = true;
    ReportRequest &request = result.reportRequest;
    request.output = LastValue(arguments, OutputName);
    // The output file only ever holds JSON Lines, which a resumed run can read back.
    request.json = parser.isSet(json) || parser.isSet(output);
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
    if (parser.isSet(shard))
        if (const std::optional<QString> mistake = ReadShard(parser.value(shard), request))
            return Mistake(*mistake);
    if (parser.isSet(output) && request.output.isEmpty())
        return Mistake(QStringLiteral("--output 需要一个文件名"));
    request.resume = parser.isSet(resume);
    request.downloadSize = parser.isSet(downloadSize);
    if (request.resume && !parser.isSet(output))
        return Mistake(QStringLiteral("--resume 需要 --output 指定的文件"));
    request.filesFrom = LastValue(arguments, FilesFromName);
    if (parser.isSet(filesFrom) && request.filesFrom.isEmpty())
        return Mistake(QStringLiteral("--files-from 需要一个文件名"));
    request.filesFromLines = parser.isSet(filesFromLines);
    if (request.filesFromLines && !parser.isSet(filesFrom))
        return Mistake(QStringLiteral("--files-from-lines 需要 --files-from"));
    // A shard is a hash of the absolute path, and a record kept in a file must name its package
    // wherever the run is resumed from.
    const bool absolute = parser.isSet(shard) || parser.isSet(output) || parser.isSet(filesFrom);
    for (const QByteArray &file : files) {
        QByteArray path = AsGivenPath(file);
        if (absolute && path.isEmpty())
            return Mistake(
                QStringLiteral("“%1” 不是本机文件的路径").arg(QString::fromLocal8Bit(file)));
        if (absolute && (path = AbsolutePath(path)).isEmpty())
            return Mistake(QStringLiteral("无法取得当前目录，“%1” 不能变成绝对路径")
                               .arg(QString::fromLocal8Bit(file)));
        request.paths.append(path);
    }
    if (request.paths.isEmpty() && request.filesFrom.isEmpty())
        return Mistake(QStringLiteral("--report 需要至少一个文件或文件夹"));
    return result;
}
