#include "CompareDlg.h"

#include "FormWidgets.h"
#include "ReadProgress.h"
#include "compare/ComparisonLoading.h"
#include "compare/SizeChanges.h"
#include "details/PackageFacts.h"
#include "details/ShownDetails.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// Wide enough for two certificate SHA-256s with their colons side by side.
constexpr int DefaultWidthInDigits = 200;
const QColor Updatable(0x1b, 0x7f, 0x3b);
const QColor NotUpdatable(0xb3, 0x26, 0x1e);
const QColor DiffersBackground(0xff, 0xf1, 0xb8);

// The verdict in large bold letters; pending until both packages are read.
QLabel *VerdictLabel()
{
    auto *label = new QLabel(PendingText());
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setAccessibleName(QStringLiteral("结论"));
    return label;
}

// The verdict said, green or red.
void ShowVerdict(QLabel &label, const UpdateComparison &comparison)
{
    label.setText(comparison.verdictText());
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, comparison.updatable() ? Updatable : NotUpdatable);
    label.setPalette(palette);
}

QWidget *SideField(const QString &value, bool isList, const QString &name, bool differs)
{
    QWidget *field = CreateValueField(value, isList);
    field->setAccessibleName(name);
    if (differs) {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, DiffersBackground);
        field->setPalette(palette);
        field->setAccessibleDescription(QStringLiteral("与另一个包不同"));
    }
    return field;
}

// Label, old value and new value a row, under a heading row.
QWidget *SideBySide(const QList<ComparedRow> &rows)
{
    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    for (const auto &[column, title] :
         {std::pair{1, QStringLiteral("旧包")}, std::pair{2, QStringLiteral("新包")}}) {
        auto *heading = new QLabel(title);
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
        grid->addWidget(heading, 0, column);
    }
    int line = 1;
    for (const ComparedRow &row : rows) {
        auto *label = new QLabel(row.label + QStringLiteral("："));
        QFont font = label->font();
        font.setBold(row.differs());
        label->setFont(font);
        QWidget *before =
            SideField(row.oldValue, row.isList, QStringLiteral("旧包 ") + row.label, row.differs());
        label->setBuddy(before);
        // A list's label and fields start at its first line, whichever side has more.
        const Qt::Alignment place = row.isList ? Qt::AlignTop : Qt::AlignVCenter;
        grid->addWidget(label, line, 0, place);
        grid->addWidget(before, line, 1, place);
        grid->addWidget(
            SideField(row.newValue, row.isList, QStringLiteral("新包 ") + row.label, row.differs()),
            line, 2, place);
        ++line;
    }
    auto *sides = new QWidget;
    sides->setLayout(grid);
    return sides;
}

} // namespace

CCompareDlg::CCompareDlg(const InspectedPackage &shown, const QByteArray &newPath, QWidget *parent)
    : QDialog(parent), verdict(VerdictLabel()), summary(new QFormLayout), scroll(new QScrollArea),
      progress(new CReadProgress)
{
    setWindowTitle(QStringLiteral("比较 - ") +
                   EscapeControls(ReadPackageFacts(shown.toolOutput).packageName));
    setModal(true);
    summary->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // The two side by side come once both are read.
    scroll->setWidget(new QWidget);

    QDialogButtonBox *buttons = CopyAndCloseButtons(*this, [this] { return copyText(); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(verdict);
    layout->addLayout(summary);
    layout->addWidget(scroll, 1);
    layout->addWidget(progress);
    layout->addWidget(buttons);

    // Called on a worker thread; the window takes what is new on its own.
    loading = std::make_unique<ComparisonLoading>(shown, newPath, [this] {
        QMetaObject::invokeMethod(this, &CCompareDlg::showComparison, Qt::QueuedConnection);
    });
    progress->follow([this] { return loading->readProgress(); });
    resize(sizeHint());
}

CCompareDlg::~CCompareDlg() = default;

void CCompareDlg::showComparison()
{
    if (!loading || !loading->done())
        return;
    const ComparedPackage oldPackage = loading->oldPackage();
    const ComparedPackage newPackage = loading->newPackage();
    progress->stop();
    loading.reset();

    const UpdateComparison comparison = CompareForUpdate(oldPackage, newPackage);
    const QList<ComparedRow> rows = ComparedRows(oldPackage, newPackage);
    QList<DetailsSection> sections = ComparisonSections(comparison, rows);
    const std::optional<SizeChanges> sizes = CompareSizes(oldPackage.details, newPackage.details);
    if (sizes)
        sections.append(SizeChangeSections(*sizes));
    text = DetailsText(sections);
    setWindowTitle(QStringLiteral("比较 - ") +
                   EscapeControls(oldPackage.details.facts.packageName));
    ShowVerdict(*verdict, comparison);
    // Under the verdict, every rule that fails and what changes, as the copied text has them.
    for (const DetailsRow &row : sections.first().rows.sliced(1)) {
        QWidget *field = CreateValueField(row.value, row.isList);
        field->setAccessibleName(row.label);
        summary->addRow(row.label + QStringLiteral("："), field);
    }
    // Below the packages side by side, how their sizes moved.
    auto *below = new QWidget;
    auto *column = new QVBoxLayout(below);
    column->addWidget(SideBySide(rows));
    for (const DetailsSection &section : sections.sliced(sections.size() - (sizes ? 2 : 0))) {
        auto *frame = new QGroupBox(section.title);
        auto *form = new QFormLayout(frame);
        for (const DetailsRow &row : section.rows) {
            QWidget *field = CreateValueField(row.value, row.isList);
            field->setAccessibleName(section.title + u' ' + row.label);
            form->addRow(row.label + QStringLiteral("："), field);
        }
        column->addWidget(frame);
    }
    column->addStretch();
    scroll->setWidget(below);
    resize(size().expandedTo(sizeHint()));
}

void CCompareDlg::done(int result)
{
    // Closing stops the reading; its threads notice at their next read.
    progress->stop();
    loading.reset();
    QDialog::done(result);
}

QSize CCompareDlg::sizeHint() const
{
    return ScrollingWindowSize(*this, QDialog::sizeHint(), *scroll, DefaultWidthInDigits);
}

void CompareShownWith(const InspectedPackage &shown, const QByteArray &newPath, QWidget *parent)
{
    CCompareDlg dialog(shown, newPath, parent);
    dialog.exec();
}
