#include "ContentsModel.h"

#include "details/ContentsText.h"
#include "details/FileSizeText.h"

#include <algorithm>
#include <numeric>

CContentsModel::CContentsModel(const ContentsListing &listing, QObject *parent)
    : QAbstractTableModel(parent), listing(listing), rows(listing.entries.size()),
      rowOfEntry(listing.entries.size())
{
    std::iota(rows.begin(), rows.end(), 0);
    std::iota(rowOfEntry.begin(), rowOfEntry.end(), 0);
}

int CContentsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int CContentsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CContentsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const ListedEntry &entry = listing.entries[rows[index.row()]];
    if (role == Qt::TextAlignmentRole)
        return index.column() == Name || index.column() == Method
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Name:
        return EntryNameText(entry.name);
    case Method:
        return MethodText(entry.method);
    case Stored:
        return GroupedDigits(entry.stored);
    case Uncompressed:
        return GroupedDigits(entry.uncompressed);
    case Share:
        return ShareText(entry.stored, listing.fileSize);
    default:
        return {};
    }
}

QVariant CContentsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Name:
        return QStringLiteral("名称");
    case Method:
        return QStringLiteral("方法");
    case Stored:
        return QStringLiteral("存储大小");
    case Uncompressed:
        return QStringLiteral("解压后大小");
    case Share:
        return QStringLiteral("占比");
    default:
        return {};
    }
}

void CContentsModel::sort(int column, Qt::SortOrder order)
{
    const QList<ListedEntry> &entries = listing.entries;
    const auto less = [&](qsizetype a, qsizetype b) {
        const ListedEntry &x = entries[a];
        const ListedEntry &y = entries[b];
        switch (column) {
        case Method:
            return x.method < y.method;
        case Stored:
        case Share:
            return x.stored < y.stored;
        case Uncompressed:
            return x.uncompressed < y.uncompressed;
        default:
            return x.name < y.name;
        }
    };
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<qsizetype> kept;
    for (const QModelIndex &index : before)
        kept.append(rows[index.row()]);
    // Ties keep the archive's order either way.
    std::sort(rows.begin(), rows.end());
    std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
        return order == Qt::AscendingOrder ? less(a, b) : less(b, a);
    });
    for (qsizetype row = 0; row < rows.size(); ++row)
        rowOfEntry[rows[row]] = int(row);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(index(rowOfEntry[kept[i]], before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
