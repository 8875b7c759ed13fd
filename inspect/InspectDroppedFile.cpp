#include "LocalPath.h"
#include "ui/PelmoraDlg.h"

#include <QDropEvent>

void CPelmoraDlg::InspectDroppedFile(QDropEvent *drop)
{
    if (InspectFile(FirstDroppedPath(*drop->mimeData())))
        QDialog::dropEvent(drop);
}
