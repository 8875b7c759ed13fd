#include "TreemapView.h"

#include "details/ContentsText.h"
#include "details/FileSizeText.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

// Rectangles smaller than this are left to their folder's fill: 65,535 entries still draw fast.
constexpr double SmallestDrawn = 1.0;
// Below this an entry gets no outline of its own, which would hide its colour.
constexpr double SmallestOutlined = 4.0;
constexpr int FolderFrameWidth = 2;

} // namespace

QColor CategoryColor(SizeCategory category)
{
    switch (category) {
    case SizeCategory::Code:
        return QColor(0x4e, 0x79, 0xa7);
    case SizeCategory::ResourcesTable:
        return QColor(0xf2, 0x8e, 0x2b);
    case SizeCategory::Res:
        return QColor(0x59, 0xa1, 0x4f);
    case SizeCategory::Native:
        return QColor(0xe1, 0x57, 0x59);
    case SizeCategory::Assets:
        return QColor(0xb0, 0x7a, 0xa1);
    case SizeCategory::Signature:
        return QColor(0xed, 0xc9, 0x48);
    case SizeCategory::Other:
        break;
    }
    return QColor(0x9c, 0x9c, 0x9c);
}

CTreemapView::CTreemapView(const ContentsListing &listing, QWidget *parent)
    : QWidget(parent), listing(listing)
{
    names.reserve(listing.entries.size());
    sizes.reserve(listing.entries.size());
    for (const ListedEntry &entry : listing.entries) {
        names.append(entry.name);
        sizes.append(entry.stored);
    }
    setAccessibleName(QStringLiteral("条目大小分布图"));
    setMinimumSize(200, 120);
}

const Treemap &CTreemapView::treemap() const
{
    if (laidOutFor != size()) {
        layout = LayoutTreemap(names, sizes, QRectF(rect()));
        laidOutFor = size();
    }
    return layout;
}

void CTreemapView::setSelectedEntry(qsizetype index)
{
    selected = index;
    update();
}

QSize CTreemapView::sizeHint() const
{
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    return {digit * 90, fontMetrics().height() * 18};
}

bool CTreemapView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const qsizetype index = EntryAt(treemap(), help->pos());
    if (index < 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const ListedEntry &entry = listing.entries[index];
    QToolTip::showText(help->globalPos(),
                       QStringLiteral("%1\n%2：%3 字节（%4）\n解压后：%5 字节\n方法：%6")
                           .arg(EntryNameText(entry.name), CategoryText(entry.category),
                                GroupedDigits(entry.stored),
                                ShareText(entry.stored, listing.fileSize),
                                GroupedDigits(entry.uncompressed), MethodText(entry.method)),
                       this, treemap().entries[index].toAlignedRect());
    return true;
}

void CTreemapView::mousePressEvent(QMouseEvent *event)
{
    const qsizetype index = EntryAt(treemap(), event->position());
    if (event->button() != Qt::LeftButton || index < 0)
        return QWidget::mousePressEvent(event);
    setSelectedEntry(index);
    emit entryClicked(index);
}

void CTreemapView::paintEvent(QPaintEvent *)
{
    const Treemap &map = treemap();
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QColor outline = palette().color(QPalette::Base);
    for (const TreemapGroup &group : map.groups) {
        if (group.rect.isEmpty())
            continue;
        // A folder of entries too small to draw shows its largest entry's colour.
        const SizeCategory largest = listing.entries[map.order[group.first]].category;
        painter.fillRect(group.rect, CategoryColor(largest).lighter(130));
        for (qsizetype i = group.first; i < group.first + group.count; ++i) {
            const QRectF &entry = map.entries[map.order[i]];
            if (entry.width() < SmallestDrawn || entry.height() < SmallestDrawn)
                continue;
            painter.fillRect(entry, CategoryColor(listing.entries[map.order[i]].category));
            if (entry.width() >= SmallestOutlined && entry.height() >= SmallestOutlined) {
                painter.setPen(outline);
                painter.drawRect(entry);
            }
        }
    }
    painter.setPen(QPen(palette().color(QPalette::WindowText), FolderFrameWidth));
    for (const TreemapGroup &group : map.groups)
        if (!group.rect.isEmpty())
            painter.drawRect(group.rect);
    if (selected >= 0 && selected < map.entries.size() && !map.entries[selected].isEmpty()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
        painter.drawRect(map.entries[selected]);
    }
}
