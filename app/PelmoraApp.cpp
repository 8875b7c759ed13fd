#include "PelmoraApp.h"

#include "ui/PelmoraDlg.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
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
    dialog.exec();
    return false;
}
