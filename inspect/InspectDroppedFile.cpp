#include "ui/PelmoraDlg.h"

void CPelmoraDlg::InspectDroppedFile(const QByteArray &droppedPath)
{
    InspectFile(droppedPath);
}
