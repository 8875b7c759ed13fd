#include "DetailsDlg.h"

#include "ContentsDlg.h"
#include "DropAsCopy.h"
#include "FormWidgets.h"
#include "ManifestDlg.h"
#include "ReadProgress.h"
#include "SignerCheck.h"
#include "apk/IconImage.h"
#include "details/DetailsLoading.h"
#include "details/HoldingsSections.h"
#include "details/ShownDetails.h"
#include "inspect/InspectedPackage.h"

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int IconSide = 64;
// Wide enough for a certificate's SHA-256 with its colons beside its label.
constexpr int DefaultWidthInDigits = 112;

QPixmap IconPixmap(const QByteArray &bytes, qreal ratio)
{
    const int side = qRound(IconSide * ratio);
    PixelBudget pixels;
    const QImage image = DecodeIcon(bytes, pixels, side);
    if (image.isNull())
        return {};
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

CDetailsDlg::CDetailsDlg(const QString &packageName, QWidget *parent)
    : QDialog(parent), scroll(new QScrollArea), sectionsLayout(new QVBoxLayout(new QWidget)),
      progress(new CReadProgress), contentsButton(new QPushButton(QStringLiteral("查看内容…"))),
      manifestButton(new QPushButton(QStringLiteral("查看清单…")))
{
    showTitle(packageName);
    setModal(true);
    setAcceptDrops(true);
    sectionsLayout->setContentsMargins(0, 0, 0, 0);
    sectionsLayout->addStretch();

    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(sectionsLayout->parentWidget());

    QDialogButtonBox *buttons = CopyAndCloseButtons(*this, [this] { return copyText(); });
    contentsButton->setAutoDefault(false);
    contentsButton->setEnabled(false);
    buttons->addButton(contentsButton, QDialogButtonBox::ActionRole);
    connect(contentsButton, &QPushButton::clicked, this,
            [this] { ShowContents(*file, shownName, this); });
    manifestButton->setAutoDefault(false);
    manifestButton->setEnabled(false);
    buttons->addButton(manifestButton, QDialogButtonBox::ActionRole);
    connect(manifestButton, &QPushButton::clicked, this,
            [this] { ShowManifest(*file, *manifest, shownName, this); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(progress);
    layout->addWidget(buttons);
}

CDetailsDlg::~CDetailsDlg() = default;

void CDetailsDlg::load(const InspectedPackage &inspected)
{
    // Called on a worker thread; the window takes what is new on its own.
    loading = std::make_unique<DetailsLoading>(
        inspected,
        [this] { QMetaObject::invokeMethod(this, &CDetailsDlg::showLoaded, Qt::QueuedConnection); },
        true);
    progress->follow([this] { return loading->readProgress(); });
    file = inspected.file;
    contentsButton->setEnabled(file != nullptr);
    showLoaded();
}

void CDetailsDlg::showTitle(const QString &packageName)
{
    shownName = packageName;
    setWindowTitle(QStringLiteral("详细信息 - ") + packageName);
}

void CDetailsDlg::showLoaded()
{
    if (!loading)
        return;
    const bool finished = loading->done();
    const PackageDetails details = loading->current();
    if (!manifest && details.holdings && details.holdings->manifest && file) {
        manifest = details.holdings->manifest;
        manifestButton->setEnabled(true);
    }
    if (fullyShown) {
        // Rebuilt, the sections would lose what was typed in the 预期签名者 field.
        refreshValues(SizeSection(ShownDetails(details)));
    } else {
        showSections(details);
        if (finished) {
            fullyShown = true;
            progress->stop();
            // Checked against the signatures as verified, so only once they all are.
            if (!details.fileChanged)
                addField(QStringLiteral("签名"), QStringLiteral("预期签名者"),
                         new CSignerCheck(details.signatures));
        }
    }
    if (finished && !details.estimatePending)
        loading.reset();
}

void CDetailsDlg::showSections(const PackageDetails &details)
{
    // The tool may have printed no name that the manifest gives.
    showTitle(EscapeControls(details.facts.packageName));
    const int scrolled = scroll->verticalScrollBar()->value();
    // Every section but the stretch below them.
    while (sectionsLayout->count() > 1) {
        QLayoutItem *item = sectionsLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
    sections.clear();
    forms.clear();
    for (DetailsSection &section : DetailsSections(details))
        addSection(std::move(section));
    scroll->verticalScrollBar()->setValue(scrolled);
}

void CDetailsDlg::refreshValues(const DetailsSection &section)
{
    for (DetailsSection &shown : sections)
        if (shown.title == section.title)
            shown.rows = section.rows;
    const QFormLayout *form = forms.value(section.title);
    for (int row = 0; form && row < form->rowCount(); ++row) {
        const QLayoutItem *item = form->itemAt(row, QFormLayout::FieldRole);
        auto *field = item ? qobject_cast<QLineEdit *>(item->widget()) : nullptr;
        for (const DetailsRow &value : section.rows)
            if (field && field->accessibleName() == value.label && field->text() != value.value) {
                field->setText(value.value);
                field->setCursorPosition(0);
            }
    }
}

void CDetailsDlg::done(int result)
{
    // Closing stops the work; its threads notice at their next read.
    progress->stop();
    loading.reset();
    QDialog::done(result);
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
    // Qt's own first sizing stops at two thirds of the screen; this one follows the rows. Once
    // shown, the window only grows, as rows come in.
    resize(isVisible() ? size().expandedTo(sizeHint()) : sizeHint());
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
    resize(isVisible() ? size().expandedTo(sizeHint()) : sizeHint());
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
        field = CreateValueField(row.value, row.isList, row.warningLines);
    }
    field->setAccessibleName(row.label);
    return field;
}

QSize CDetailsDlg::sizeHint() const
{
    return ScrollingWindowSize(*this, QDialog::sizeHint(), *scroll, DefaultWidthInDigits);
}
