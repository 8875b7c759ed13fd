#include "DropEvents.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QWidget>

Qt::DropAction DropUrls(QWidget &target, const QList<QUrl> &urls, Qt::DropActions offered,
                        Qt::KeyboardModifiers modifiers, const std::function<void()> &afterDrop)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = target.rect().center();
    // Qt delivers a drop only to a widget that took the drag's entry and its last move.
    QDragEnterEvent enter(centre, offered, &data, Qt::LeftButton, modifiers);
    enter.setAccepted(false);
    QApplication::sendEvent(&target, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(centre, offered, &data, Qt::LeftButton, modifiers);
    move.setAccepted(false);
    QApplication::sendEvent(&target, &move);
    if (!move.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent drop(centre, offered, &data, Qt::LeftButton, modifiers);
    drop.setAccepted(false);
    QApplication::sendEvent(&target, &drop);
    if (afterDrop)
        afterDrop();
    QCoreApplication::sendPostedEvents();
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}
