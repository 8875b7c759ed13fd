#include "DetailsDlg.h"

#include "DropAsCopy.h"
#include "FormWidgets.h"

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int IconSide = 64;
// Wide enough for a certificate's SHA-256 with its colons beside its label.
constexpr int DefaultWidthInDigits = 112;

QPixmap IconPixmap(const QByteArray &bytes, qreal ratio)
{
    QImage image = QImage::fromData(bytes);
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
    setAcceptDrops(true);
    sectionsLayout->setContentsMargins(0, 0, 0, 0);
    sectionsLayout->addStretch();

    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(sectionsLayout->parentWidget());

    QDialogButtonBox *buttons = CopyAndCloseButtons(*this, [this] { return copyText(); });

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
    forms.insert(section.title, form);
    sections.append(std::move(section));
    // Qt's own first sizing stops at two thirds of the screen; this one follows the rows.
    resize(sizeHint());
}

void CDetailsDlg::addField(const QString &sectionTitle, const QString &label, QWidget *field)
{
    QFormLayout *form = forms.value(sectionTitle);
    if (!form) {
        delete field;
        return;
    }
    auto *text = new QLabel(label + QStringLiteral("："));
    text->setBuddy(field);
    form->addRow(text, field);
    resize(sizeHint());
}

void CDetailsDlg::dragEnterEvent(QDragEnterEvent *event)
{
    TakeAsCopy(event);
}

void CDetailsDlg::dragMoveEvent(QDragMoveEvent *event)
{
    TakeAsCopy(event);
}

void CDetailsDlg::dropEvent(QDropEvent *event)
{
    const QByteArray path = TakeAsCopy(event);
    // The source is free once the drop returns; the comparison follows from the event loop.
    if (!path.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, path] { emit packageDropped(path); }, Qt::QueuedConnection);
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
    } else {
        field = CreateValueField(row.value, row.isList);
    }
    field->setAccessibleName(row.label);
    return field;
}

QSize CDetailsDlg::sizeHint() const
{
    return ScrollingWindowSize(*this, QDialog::sizeHint(), *scroll, DefaultWidthInDigits);
}
