#include "PelmoraDlg.h"

#include "DataExchange.h"
#include "DialogTemplate.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace {
constexpr int MainDialogTemplate = 102;
}

CPelmoraDlg::CPelmoraDlg(QWidget *parent)
    : QDialog(parent), controls(BuildFromTemplate(*this, MainDialogTemplate))
{
}

void CPelmoraDlg::UpdateData(bool saveAndValidate)
{
    DoDataExchange(DataExchange(controls, saveAndValidate));
}

void CPelmoraDlg::DoDataExchange(const DataExchange &dx)
{
    dx.Text(PathBox, fields.pathText);
    dx.Text(PackageBox, fields.packageText);
    dx.Text(Md5Box, fields.md5Text);
    dx.Text(VersionBox, fields.versionText);
}

void CPelmoraDlg::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void CPelmoraDlg::dropEvent(QDropEvent *event)
{
    InspectDroppedFile(event);
}

void CPelmoraDlg::ClearInspection()
{
    fields.pathText.clear();
    fields.packageText.clear();
    fields.md5Text.clear();
}
