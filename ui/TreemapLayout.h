#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QRectF>

// Rectangles for `weights` that tile `area`, each as large as its share of the weights' sum,
// laid out in the order given in rows as near to squares as the order allows (squarified
// treemaps, Bruls, Huizing and van Wijk): give the largest first. A weight of 0 or less gets an
// empty rectangle.
QList<QRectF> SquarifiedLayout(const QList<double> &weights, const QRectF &area);

// A treemap of a package's entries, one rectangle per top-level folder (and per entry at the
// archive's root) holding the rectangles of its entries.
struct TreemapGroup
{
    QByteArray name; // "res/", or a root entry's own name
    QRectF rect;
    qsizetype first = 0; // its entries: order[first] to order[first + count - 1]
    qsizetype count = 0;
};

struct Treemap
{
    QList<QRectF> entries; // by the index of the entry in the list laid out
    QList<TreemapGroup> groups;
    QList<qsizetype> order; // entry indices, group by group, largest first
};

// Lays out entries `names` with `sizes` (the same length) inside `area`: groups by their sizes'
// sums, then each group's entries inside its rectangle, so every entry's rectangle is as large
// as its share of all the sizes.
Treemap LayoutTreemap(const QList<QByteArray> &names, const QList<qint64> &sizes,
                      const QRectF &area);

// The entry whose rectangle holds `point`; -1 for none.
qsizetype EntryAt(const Treemap &treemap, QPointF point);
