#include "PelmoraApp.h"

#include "ui/PelmoraDlg.h"

bool CPelmoraApp::InitInstance()
{
    CPelmoraDlg dialog;
    dialog.exec();
    return false;
}
