#include "DropAsCopy.h"

#include "inspect/LocalPath.h"

#include <QDropEvent>

QByteArray TakeAsCopy(QDropEvent *event)
{
    const QByteArray path = event->possibleActions() & Qt::CopyAction
                                ? FirstDroppedPath(*event->mimeData())
                                : QByteArray();
    if (!path.isEmpty()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    return path;
}
