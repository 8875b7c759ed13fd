#include "DetailsDlg.h"

#include "details/IconImage.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtMath>

namespace {

constexpr int IconSide = 64;
// Lists longer than this scroll inside their own field.
constexpr int ListLinesShown = 8;
// Wide enough for a certificate's SHA-256 with its colons beside its label.
constexpr int DefaultWidthInDigits = 112;

QPixmap IconPixmap(const QByteArray &bytes, qreal ratio)
{
    const QImage image = DecodeIcon(bytes);
    if (image.isNull())
        return {};
    const int side = qRound(IconSide * ratio);
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

CDetailsDlg::CDetailsDlg(const QString &packageName, QWidget *parent)
    : QDialog(parent), scroll(new QScrollArea), sectionsLayout(new QVBoxLayout(new QWidget))
{
    setWindowTitle(QStringLiteral("详细信息 - ") + packageName);
    setModal(true);
    sectionsLayout->setContentsMargins(0, 0, 0, 0);
    sectionsLayout->addStretch();

    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(sectionsLayout->parentWidget());

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton *copy =
        buttons->addButton(QStringLiteral("复制全部"), QDialogButtonBox::ActionRole);
    // Enter closes, as Esc does; it never copies by surprise.
    copy->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(copyText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
}

void CDetailsDlg::addSection(DetailsSection section)
{
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (DetailsRow &row : section.rows) {
        QWidget *field = createField(row);
        auto *label = new QLabel(row.label + QStringLiteral("："));
        label->setBuddy(field);
        form->addRow(label, field);
    }
    QWidget *frame = section.title.isEmpty() ? new QWidget : new QGroupBox(section.title);
    frame->setLayout(form);
    if (section.title.isEmpty())
        form->setContentsMargins(0, 0, 0, 0);
    sectionsLayout->insertWidget(sectionsLayout->count() - 1, frame);
    sections.append(std::move(section));
    // Qt's own first sizing stops at two thirds of the screen; this one follows the rows.
    resize(sizeHint());
}

QWidget *CDetailsDlg::createField(DetailsRow &row)
{
    QWidget *field;
    if (row.isImage) {
        auto *icon = new QLabel;
        const QPixmap pixmap = IconPixmap(row.image, devicePixelRatioF());
        // An image that does not decode is no icon, on screen and in the copied text alike.
        if (pixmap.isNull()) {
            row.value.clear();
        } else {
            icon->setPixmap(pixmap);
            icon->setFixedSize(IconSide, IconSide);
            icon->setAlignment(Qt::AlignCenter);
            icon->setToolTip(row.value);
        }
        field = icon;
    } else if (row.isList) {
        auto *list = new QPlainTextEdit(row.value);
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        const int allLines = int(row.value.count(u'\n')) + 1;
        const int lines = qBound(1, allLines, ListLinesShown);
        // A list that fits needs no scroll bar, which would only hide its last line's end.
        if (allLines <= ListLinesShown)
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        const QFontMetricsF metrics(list->font());
        list->setFixedHeight(qCeil(metrics.lineSpacing() * lines +
                                   2 * (list->frameWidth() + list->document()->documentMargin())) +
                             1);
        field = list;
    } else {
        auto *line = new QLineEdit(row.value);
        line->setReadOnly(true);
        line->setCursorPosition(0);
        field = line;
    }
    field->setAccessibleName(row.label);
    return field;
}

QSize CDetailsDlg::sizeHint() const
{
    // As tall as everything without scrolling, where the screen allows.
    QSize hint = QDialog::sizeHint();
    hint.rheight() += scroll->widget()->sizeHint().height() - scroll->sizeHint().height();
    hint.setWidth(qMax(hint.width(),
                       fontMetrics().horizontalAdvance(QLatin1Char('0')) * DefaultWidthInDigits));
    if (const QScreen *shown = screen())
        hint = hint.boundedTo(shown->availableGeometry().size() * 9 / 10);
    return hint;
}
