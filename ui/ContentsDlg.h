#pragma once

#include "apk/ContentsListing.h"

#include <QDialog>

class CContentsModel;
class CTreemapView;
class PackageFile;
class QTableView;

// The contents window: every entry of a package in a sortable table (name, method, stored and
// uncompressed size, share of the file) under a treemap of the same sizes, with a legend of the
// categories and their sizes, and a button that copies the list as `pelmora --contents` prints
// it. A click on the treemap selects the entry's row; selecting a row outlines its rectangle.
class CContentsDlg : public QDialog
{
    Q_OBJECT

public:
    CContentsDlg(ContentsListing listing, const QString &packageName, QWidget *parent = nullptr);

    CTreemapView *treemapView() const { return treemap; }
    QTableView *tableView() const { return table; }
    QString copyText() const;
    QSize sizeHint() const override;

private:
    const ContentsListing listing;
    CContentsModel *model;
    CTreemapView *treemap;
    QTableView *table;
};

// Opens the contents window over `file`, the inspection's open file, for the package titled
// `packageName`: a bundle's own entries, as the container holds them. A file that no longer
// opens as an archive, or that changed since, gets a message instead.
void ShowContents(const PackageFile &file, const QString &packageName, QWidget *parent);
