#include "AboutDlg.h"

#include "DialogTemplate.h"

namespace {
constexpr int AboutDialogTemplate = 100;
}

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent)
{
    BuildFromTemplate(*this, AboutDialogTemplate);
}
