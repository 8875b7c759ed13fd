#include "PelmoraApp.h"

#include "ui/PelmoraDlg.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

bool CPelmoraApp::InitInstance()
{
    // The interface is Chinese whatever the user's locale, Qt's own texts included: the
    // message boxes' OK button and the boxes' copy menu.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    CPelmoraDlg dialog;
    // Inspected as if dropped once the window is up, so any message box has its parent.
    if (!startupFile.isEmpty())
        QTimer::singleShot(0, &dialog, [&] { dialog.InspectFile(startupFile); });
    dialog.exec();
    return false;
}
