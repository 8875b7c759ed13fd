#include "FormWidgets.h"

#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtMath>

namespace {
// Lists longer than this scroll inside their own field.
constexpr int ListLinesShown = 8;
} // namespace

QWidget *CreateValueField(const QString &value, bool isList)
{
    if (!isList) {
        auto *line = new QLineEdit(value);
        line->setReadOnly(true);
        line->setCursorPosition(0);
        return line;
    }
    auto *list = new QPlainTextEdit(value);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    const int allLines = int(value.count(u'\n')) + 1;
    const int lines = qBound(1, allLines, ListLinesShown);
    // A list that fits needs no scroll bar, which would only hide its last line's end.
    if (allLines <= ListLinesShown)
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QFontMetricsF metrics(list->font());
    const int height = qCeil(metrics.lineSpacing() * lines +
                             2 * (list->frameWidth() + list->document()->documentMargin())) +
                       1;
    list->setFixedHeight(height);
    // A line wider than the field gets a scroll bar below the lines, not over the last one.
    QScrollBar *across = list->horizontalScrollBar();
    QObject::connect(
        across, &QScrollBar::rangeChanged, list, [list, across, height](int, int most) {
            list->setFixedHeight(height + (most > 0 ? across->sizeHint().height() : 0));
        });
    return list;
}

QSize ScrollingWindowSize(const QWidget &window, QSize hint, const QScrollArea &scroll,
                          int widthInDigits)
{
    hint.rheight() += scroll.widget()->sizeHint().height() - scroll.sizeHint().height();
    hint.setWidth(qMax(hint.width(),
                       window.fontMetrics().horizontalAdvance(QLatin1Char('0')) * widthInDigits));
    if (const QScreen *shown = window.screen())
        hint = hint.boundedTo(shown->availableGeometry().size() * 9 / 10);
    return hint;
}

QDialogButtonBox *CopyAndCloseButtons(QDialog &dialog, const std::function<QString()> &text)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *copy =
        buttons->addButton(QStringLiteral("复制全部"), QDialogButtonBox::ActionRole);
    copy->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    QObject::connect(copy, &QPushButton::clicked, &dialog,
                     [text] { QGuiApplication::clipboard()->setText(text()); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}
