#include "CommandLine.h"
#include "Compare.h"
#include "Contents.h"
#include "Manifest.h"
#include "PelmoraApp.h"
#include "Report.h"
#include "Version.h"
#include "archive/ZipArchive.h"
#include "details/FormatModuleComplaint.h"
#include "formats/Formats.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

QList<QByteArray> ArgumentsOf(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return arguments;
}

// Whether this process can show a window at all; without one Qt would abort with a message
// that does not say what is missing.
bool HasGraphicalSession(const QList<QByteArray> &arguments)
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    return arguments.contains("-platform");
}

// Prints what the command line asked to print; returns its exit code.
int Finish(const CommandLine &commandLine)
{
    std::fputs(commandLine.output.toLocal8Bit().constData(),
               commandLine.toStandardError ? stderr : stdout);
    return commandLine.exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    SetFormatModuleComplaint(SayFormatModuleProblem);
    QApplication::setApplicationName(QStringLiteral(PELMORA_APPLICATION_NAME));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    // --help and --version need no display. An option unknown here may still be one of Qt's
    // own (-platform ...), which only the application object takes out.
    const QList<QByteArray> arguments = ArgumentsOf(argc, argv);
    const CommandLine early = ParseCommandLine(arguments);
    // A report, a comparison, a listing or a manifest needs no display and starts no window.
    if (early.report) {
        ZipArchive::NameTimeZoneFile();
        QCoreApplication application(argc, argv);
        return RunReport(early.reportRequest);
    }
    if (early.compare) {
        ZipArchive::NameTimeZoneFile();
        QCoreApplication application(argc, argv);
        return RunCompare(early.compareRequest);
    }
    if (early.contents) {
        ZipArchive::NameTimeZoneFile();
        QCoreApplication application(argc, argv);
        return RunContents(early.contentsRequest);
    }
    if (early.manifest) {
        ZipArchive::NameTimeZoneFile();
        QCoreApplication application(argc, argv);
        return RunManifest(early.manifestRequest);
    }
    if (early.exitNow && (early.exitCode == 0 || !HasGraphicalSession(arguments)))
        return Finish(early);
    if (!HasGraphicalSession(arguments)) {
        std::fputs("Pelmora 需要图形会话（X11 或 Wayland）才能显示窗口；"
                   "请在桌面环境中运行，或设置 DISPLAY / WAYLAND_DISPLAY。\n",
                   stderr);
        return 1;
    }

    ZipArchive::NameTimeZoneFile();
    QApplication application(argc, argv);
    // Lets the desktop match the window to its entry and icon.
    QApplication::setDesktopFileName(QStringLiteral(PELMORA_DESKTOP_ID));
    // Only Qt's own options can have failed the first reading, and the application object has
    // taken them out by now.
    const CommandLine commandLine =
        early.exitNow ? ParseCommandLine(ArgumentsOf(argc, argv)) : early;
    if (commandLine.exitNow)
        return Finish(commandLine);
    CPelmoraApp app(commandLine.file);
    app.InitInstance();
    return 0;
}
