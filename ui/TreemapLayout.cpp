#include "TreemapLayout.h"

#include <QHash>
#include <algorithm>
#include <numeric>

namespace {

// The worst aspect ratio of a row of areas summing to `sum`, between `smallest` and `largest`,
// laid along a side of length `side`.
double WorstRatio(double sum, double smallest, double largest, double side)
{
    const double sideSquared = side * side;
    const double sumSquared = sum * sum;
    return std::max(sideSquared * largest / sumSquared, sumSquared / (sideSquared * smallest));
}

// Lays `areas[from, to)` out as one row along the shorter side of `free`, `last` when no row
// follows, so that it takes all that is left; shrinks `free` by the row.
void PlaceRow(const QList<double> &areas, const QList<qsizetype> &indices, qsizetype from,
              qsizetype to, bool last, QRectF &free, QList<QRectF> &rects)
{
    double sum = 0;
    for (qsizetype i = from; i < to; ++i)
        sum += areas[indices[i]];
    const bool vertical = free.width() >= free.height(); // a column at the left
    const double side = vertical ? free.height() : free.width();
    const double depth = last ? (vertical ? free.width() : free.height()) : sum / side;
    double done = 0;
    for (qsizetype i = from; i < to; ++i) {
        const double start = done / sum * side;
        done += areas[indices[i]];
        // The row's last rectangle ends where the side does, whatever the rounding.
        const double end = i + 1 == to ? side : done / sum * side;
        rects[indices[i]] = vertical ? QRectF(free.left(), free.top() + start, depth, end - start)
                                     : QRectF(free.left() + start, free.top(), end - start, depth);
    }
    if (vertical)
        free.setLeft(last ? free.right() : free.left() + depth);
    else
        free.setTop(last ? free.bottom() : free.top() + depth);
}

} // namespace

QList<QRectF> SquarifiedLayout(const QList<double> &weights, const QRectF &area)
{
    QList<QRectF> rects(weights.size(), QRectF(area.topLeft(), QSizeF(0, 0)));
    QList<qsizetype> indices;
    double total = 0;
    for (qsizetype i = 0; i < weights.size(); ++i)
        if (weights[i] > 0) {
            indices.append(i);
            total += weights[i];
        }
    if (indices.isEmpty() || area.width() <= 0 || area.height() <= 0)
        return rects;
    QList<double> areas(weights.size(), 0.0);
    const double scale = area.width() * area.height() / total;
    for (qsizetype i : std::as_const(indices))
        areas[i] = weights[i] * scale;

    QRectF free = area;
    for (qsizetype from = 0; from < indices.size();) {
        const double side = std::min(free.width(), free.height());
        double sum = areas[indices[from]];
        double smallest = sum;
        double largest = sum;
        double worst = WorstRatio(sum, smallest, largest, side);
        qsizetype to = from + 1;
        for (; to < indices.size(); ++to) {
            const double next = areas[indices[to]];
            const double ratio =
                WorstRatio(sum + next, std::min(smallest, next), std::max(largest, next), side);
            if (ratio > worst)
                break;
            sum += next;
            smallest = std::min(smallest, next);
            largest = std::max(largest, next);
            worst = ratio;
        }
        PlaceRow(areas, indices, from, to, to == indices.size(), free, rects);
        from = to;
    }
    return rects;
}

Treemap LayoutTreemap(const QList<QByteArray> &names, const QList<qint64> &sizes,
                      const QRectF &area)
{
    Treemap treemap;
    treemap.entries.fill(QRectF(area.topLeft(), QSizeF(0, 0)), names.size());
    // Each entry's group, and the groups' sums, in the order they first appear.
    QHash<QByteArray, qsizetype> groupIndex;
    QList<qint64> groupSizes;
    QList<QList<qsizetype>> members;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype slash = names[i].indexOf('/');
        const QByteArray group = slash < 0 ? names[i] : names[i].first(slash + 1);
        auto found = groupIndex.constFind(group);
        if (found == groupIndex.cend()) {
            found = groupIndex.insert(group, treemap.groups.size());
            treemap.groups.append({group, {}, 0, 0});
            groupSizes.append(0);
            members.append(QList<qsizetype>());
        }
        groupSizes[*found] += qMax<qint64>(0, sizes[i]);
        members[*found].append(i);
    }
    QList<qsizetype> groupOrder(treemap.groups.size());
    std::iota(groupOrder.begin(), groupOrder.end(), 0);
    std::stable_sort(groupOrder.begin(), groupOrder.end(),
                     [&](qsizetype a, qsizetype b) { return groupSizes[a] > groupSizes[b]; });
    QList<double> groupWeights;
    for (qsizetype group : std::as_const(groupOrder))
        groupWeights.append(double(groupSizes[group]));
    const QList<QRectF> groupRects = SquarifiedLayout(groupWeights, area);

    QList<TreemapGroup> groups;
    for (qsizetype at = 0; at < groupOrder.size(); ++at) {
        TreemapGroup group = treemap.groups[groupOrder[at]];
        QList<qsizetype> entries = members[groupOrder[at]];
        std::stable_sort(entries.begin(), entries.end(),
                         [&](qsizetype a, qsizetype b) { return sizes[a] > sizes[b]; });
        QList<double> weights;
        for (qsizetype entry : std::as_const(entries))
            weights.append(double(sizes[entry]));
        const QList<QRectF> rects = SquarifiedLayout(weights, groupRects[at]);
        group.rect = groupRects[at];
        group.first = treemap.order.size();
        group.count = entries.size();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            treemap.entries[entries[i]] = rects[i];
            treemap.order.append(entries[i]);
        }
        groups.append(group);
    }
    treemap.groups = std::move(groups);
    return treemap;
}

qsizetype EntryAt(const Treemap &treemap, QPointF point)
{
    for (const TreemapGroup &group : treemap.groups) {
        if (group.rect.isEmpty() || !group.rect.contains(point))
            continue;
        for (qsizetype i = group.first; i < group.first + group.count; ++i) {
            const QRectF &rect = treemap.entries[treemap.order[i]];
            if (!rect.isEmpty() && rect.contains(point))
                return treemap.order[i];
        }
    }
    return -1;
}
