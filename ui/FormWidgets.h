#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <functional>

class QDialog;
class QDialogButtonBox;
class QScrollArea;
class QWidget;

// What the details and the comparison windows share.

// A read-only, selectable field for one value: a line, or for a list (one item a line) a box
// as tall as its lines, up to eight, that scrolls beyond them. `warningLines` (0 for a single
// value) are drawn bold in the palette's warning colour.
QWidget *CreateValueField(const QString &value, bool isList,
                          const QList<qsizetype> &warningLines = {});

// The size for a window whose `scroll` area holds most of it: as tall as everything without
// scrolling, at least `widthInDigits` digits wide, within nine tenths of its screen.
QSize ScrollingWindowSize(const QWidget &window, QSize hint, const QScrollArea &scroll,
                          int widthInDigits);

// "复制全部", which puts `text()` on the clipboard, beside "关闭", the default button: Enter
// closes, as Esc does, and never copies by surprise.
QDialogButtonBox *CopyAndCloseButtons(QDialog &dialog, const std::function<QString()> &text);
