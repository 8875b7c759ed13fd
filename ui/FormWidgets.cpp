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
#include <QTextBlock>
#include <QTextCursor>
#include <QtMath>

namespace {
// Lists longer than this scroll inside their own field.
constexpr int ListLinesShown = 8;

// Red reads as a warning on light and dark palettes alike.
const QColor WarningColour(0xc0, 0x1c, 0x28);

void MarkWarningLines(QPlainTextEdit &list, const QList<qsizetype> &lines)
{
    QTextCharFormat warning;
    warning.setForeground(WarningColour);
    warning.setFontWeight(QFont::Bold);
    for (const qsizetype line : lines) {
        const QTextBlock block = list.document()->findBlockByNumber(int(line));
        if (!block.isValid())
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(warning);
    }
}

} // namespace

QWidget *CreateValueField(const QString &value, bool isList, const QList<qsizetype> &warningLines)
{
    if (!isList) {
        auto *line = new QLineEdit(value);
        line->setReadOnly(true);
        line->setCursorPosition(0);
        if (warningLines.contains(0)) {
            QPalette palette = line->palette();
            palette.setColor(QPalette::Text, WarningColour);
            line->setPalette(palette);
            QFont bold = line->font();
            bold.setBold(true);
            line->setFont(bold);
        }
        return line;
    }
    auto *list = new QPlainTextEdit(value);
    list->setReadOnly(true);
    MarkWarningLines(*list, warningLines);
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
