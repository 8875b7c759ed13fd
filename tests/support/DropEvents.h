#pragma once

#include <QList>
#include <QUrl>
#include <functional>

class QWidget;

// Drags `urls` onto the middle of `target` as Qt delivers a drag from another program: the
// entry, a move, then the drop if both were taken. `offered` are the actions the source
// allows; `modifiers` steer the one it proposes (Shift asks for a move). Once the drop has
// returned to the source, `afterDrop` runs (when given), then the work the target queued for
// later. Returns the action the target took, or Qt::IgnoreAction when it refused the drag.
Qt::DropAction DropUrls(QWidget &target, const QList<QUrl> &urls,
                        Qt::DropActions offered = Qt::CopyAction,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                        const std::function<void()> &afterDrop = nullptr);
