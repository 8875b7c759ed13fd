#pragma once

#include "apk/ContentsListing.h"

#include <QAbstractTableModel>

// A package's entries as a table: name, method, stored size, uncompressed size and share of
// the file. Sorting orders the rows by each column's value (sizes as numbers, names by their
// bytes), keeping the selection; rows and entries map both ways.
class CContentsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Name,
        Method,
        Stored,
        Uncompressed,
        Share,
        ColumnCount,
    };

    // `listing` must outlive the model.
    explicit CContentsModel(const ContentsListing &listing, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The listing's index of the entry on `row`, and the row of entry `entry`.
    qsizetype entryAt(int row) const { return rows[row]; }
    int rowOf(qsizetype entry) const { return rowOfEntry[entry]; }

private:
    const ContentsListing &listing;
    QList<qsizetype> rows; // entry index by row
    QList<int> rowOfEntry; // row by entry index
};
