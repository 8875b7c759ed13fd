#pragma once

#include <QList>
#include <QUrl>

class QWidget;

// Drags `urls` onto the middle of `target` as Qt delivers a drag from another program: the
// entry, a move, then the drop if both were taken. `offered` are the actions the source
// allows; `modifiers` steer the one it proposes (Shift asks for a move). Returns the action the
// target took, or Qt::IgnoreAction when it refused the drag.
Qt::DropAction DropUrls(QWidget &target, const QList<QUrl> &urls,
                        Qt::DropActions offered = Qt::CopyAction,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier);
