#include "CommandLine.h"

#include "inspect/LocalPath.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

const QString Usage =
    QStringLiteral("用法：pelmora [选项] [文件...]\n"
                   "显示 Android 应用包（apk）的路径、包名、MD5 值和版本号。\n"
                   "\n"
                   "  文件            打开窗口后立即检查的 apk 文件（路径或 file:// 地址）；\n"
                   "                  给出多个时只检查第一个\n"
                   "  -h, --help      显示本帮助并退出\n"
                   "  -v, --version   显示版本并退出\n");

// Positional arguments as QCommandLineParser counts them: anything not starting with "-", a
// lone "-", and everything after "--".
QList<QByteArray> Positionals(const QList<QByteArray> &arguments)
{
    QList<QByteArray> files;
    bool optionsEnded = false;
    for (const QByteArray &argument : arguments) {
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (optionsEnded || !argument.startsWith('-') || argument == "-")
            files.append(argument);
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

} // namespace

CommandLine ParseCommandLine(const QList<QByteArray> &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本帮助并退出"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本并退出"));
    parser.addOption(help);
    parser.addOption(version);
    QStringList texts{QStringLiteral("pelmora")};
    for (const QByteArray &argument : arguments)
        texts.append(QString::fromLocal8Bit(argument));

    CommandLine result;
    if (!parser.parse(texts)) {
        const QStringList unknown = parser.unknownOptionNames();
        const QString what = unknown.isEmpty()
                                 ? parser.errorText()
                                 : QStringLiteral("未知选项 “%1”").arg(unknown.first());
        return {true,
                2,
                QStringLiteral("pelmora：%1\n请用 pelmora --help 查看用法。\n").arg(what),
                true,
                {}};
    }
    if (parser.isSet(help))
        return {true, 0, Usage, false, {}};
    if (parser.isSet(version))
        return {true,
                0,
                QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                              QCoreApplication::applicationVersion()),
                false,
                {}};
    const QList<QByteArray> files = Positionals(arguments);
    if (!files.isEmpty())
        result.file = AsAbsolutePath(files.first());
    return result;
}
