#include "DetailsDlg.h"

#include "details/DetailsLoading.h"
#include "details/ShownDetails.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtMath>

namespace {

constexpr int IconSide = 64;
// Lists longer than this scroll inside their own field.
constexpr int ListLinesShown = 8;
// Wide enough for a certificate's SHA-256 with its colons beside its label.
constexpr int DefaultWidthInDigits = 112;
// The bar follows the read this often; the parts it reads arrive on their own.
constexpr int ProgressIntervalMs = 100;
constexpr int ProgressSteps = 1000;

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
    : QDialog(parent), scroll(new QScrollArea), sectionsLayout(new QVBoxLayout(new QWidget)),
      progress(new QProgressBar), progressTimer(new QTimer(this))
{
    showTitle(packageName);
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

    progress->setRange(0, ProgressSteps);
    progress->setFormat(PendingText() + QStringLiteral(" %p%"));
    progress->setAccessibleName(PendingText());
    progress->hide();
    progressTimer->setInterval(ProgressIntervalMs);
    connect(progressTimer, &QTimer::timeout, this, &CDetailsDlg::showProgress);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(progress);
    layout->addWidget(buttons);
}

CDetailsDlg::~CDetailsDlg() = default;

void CDetailsDlg::load(const InspectedPackage &inspected)
{
    // Called on a worker thread; the window takes what is new on its own.
    loading = std::make_unique<DetailsLoading>(inspected, [this] {
        QMetaObject::invokeMethod(this, &CDetailsDlg::showLoaded, Qt::QueuedConnection);
    });
    progress->setValue(0);
    progress->show();
    progressTimer->start();
    showLoaded();
}

void CDetailsDlg::showTitle(const QString &packageName)
{
    setWindowTitle(QStringLiteral("详细信息 - ") + packageName);
}

void CDetailsDlg::showLoaded()
{
    if (!loading)
        return;
    const bool finished = loading->done();
    const PackageDetails details = loading->current();
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
    for (DetailsSection &section : DetailsSections(details))
        addSection(std::move(section));
    scroll->verticalScrollBar()->setValue(scrolled);
    if (finished) {
        progressTimer->stop();
        progress->hide();
        loading.reset();
    }
}

void CDetailsDlg::showProgress()
{
    if (!loading)
        return;
    const double read = loading->readProgress();
    // The file is read; what is left (a bundle's inner APKs, say) shows as busy.
    if (read >= 1.0)
        progress->setRange(0, 0);
    else
        progress->setValue(int(read * ProgressSteps));
}

void CDetailsDlg::done(int result)
{
    // Closing stops the work; its threads notice at their next read.
    progressTimer->stop();
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
    sections.append(std::move(section));
    // Qt's own first sizing stops at two thirds of the screen; this one follows the rows. Once
    // shown, the window only grows, as rows come in.
    resize(isVisible() ? size().expandedTo(sizeHint()) : sizeHint());
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
