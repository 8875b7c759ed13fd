#include "PelmoraApp.h"
#include "Version.h"
#include "archive/ZipArchive.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ZipArchive::NameTimeZoneFile();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral(PELMORA_APPLICATION_NAME));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    // Lets the desktop match the window to its entry and icon.
    QApplication::setDesktopFileName(QStringLiteral(PELMORA_DESKTOP_ID));
    CPelmoraApp app;
    app.InitInstance();
    return 0;
}
