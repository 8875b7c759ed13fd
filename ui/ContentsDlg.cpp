#include "ContentsDlg.h"

#include "ContentsModel.h"
#include "FormWidgets.h"
#include "MessageBox.h"
#include "TreemapView.h"
#include "archive/ZipArchive.h"
#include "details/ContentsText.h"
#include "details/FailureText.h"
#include "details/FileSizeText.h"
#include "inspect/Inspection.h"
#include "inspect/PackageFile.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int DefaultWidthInDigits = 110;
constexpr int DefaultHeightInLines = 44;
constexpr int LegendColumns = 4;

// Each category's colour and stored size, as the treemap draws them, in rows short enough that
// the window need not be wide.
QWidget *Legend(const ContentsListing &listing)
{
    auto *legend = new QWidget;
    auto *grid = new QGridLayout(legend);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int category = 0; category < SizeCategoryCount; ++category) {
        const SizeCategory kind = SizeCategory(category);
        auto *swatch = new QLabel;
        const int side = swatch->fontMetrics().height() * 3 / 4;
        QPixmap colour(side, side);
        colour.fill(CategoryColor(kind));
        swatch->setPixmap(colour);
        const qint64 stored = listing.byCategory[category].stored;
        auto *text = new QLabel(QStringLiteral("%1 %2 (%3)")
                                    .arg(CategoryText(kind), FileSizeText(stored),
                                         ShareText(stored, listing.fileSize)));
        const int row = category / LegendColumns;
        const int column = category % LegendColumns * 2;
        grid->addWidget(swatch, row, column);
        grid->addWidget(text, row, column + 1);
    }
    grid->setColumnStretch(LegendColumns * 2, 1);
    return legend;
}

} // namespace

CContentsDlg::CContentsDlg(ContentsListing contents, const QString &packageName, QWidget *parent)
    : QDialog(parent), listing(std::move(contents)), model(new CContentsModel(listing, this)),
      treemap(new CTreemapView(listing)), table(new QTableView)
{
    setWindowTitle(QStringLiteral("内容 - ") + packageName);
    setModal(true);

    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setAccessibleName(QStringLiteral("条目"));
    table->verticalHeader()->hide();
    // Rows of one height: the view then never measures 65,535 of them.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setSectionResizeMode(CContentsModel::Name, QHeaderView::Stretch);
    table->setSortingEnabled(true);
    table->sortByColumn(CContentsModel::Stored, Qt::DescendingOrder);

    connect(treemap, &CTreemapView::entryClicked, this, [this](qsizetype entry) {
        const QModelIndex row = model->index(model->rowOf(entry), CContentsModel::Name);
        table->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        table->scrollTo(row);
    });
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                treemap->setSelectedEntry(current.isValid() ? model->entryAt(current.row()) : -1);
            });

    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(treemap);
    split->addWidget(table);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *summary =
        new QLabel(QStringLiteral("%1 个条目，文件大小 %2")
                       .arg(GroupedDigits(listing.entries.size()), FileSizeText(listing.fileSize)));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(Legend(listing));
    layout->addWidget(split, 1);
    layout->addWidget(CopyAndCloseButtons(*this, [this] { return copyText(); }));
    resize(sizeHint());
}

QString CContentsDlg::copyText() const
{
    return ContentsText(listing);
}

QSize CContentsDlg::sizeHint() const
{
    QSize hint(fontMetrics().horizontalAdvance(QLatin1Char('0')) * DefaultWidthInDigits,
               fontMetrics().height() * DefaultHeightInLines);
    if (const QScreen *shown = screen())
        hint = hint.boundedTo(shown->availableGeometry().size() * 9 / 10);
    return hint;
}

void ShowContents(const PackageFile &file, const QString &packageName, QWidget *parent)
{
    const ZipArchive archive(file.file());
    if (!archive.isOpen())
        return ShowMessage(parent,
                           QStringLiteral("无法列出内容：") + FailureText(archive.problem()));
    ContentsListing listing = ListContents(file.file(), archive);
    if (file.changed())
        return ShowMessage(parent, QStringLiteral("无法列出内容：") + ChangedReason(file));
    CContentsDlg dialog(std::move(listing), packageName, parent);
    dialog.exec();
}
