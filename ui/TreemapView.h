#pragma once

#include "TreemapLayout.h"
#include "apk/ContentsListing.h"

#include <QColor>
#include <QWidget>

// The colour an entry of `category` is drawn in, in the treemap and its legend.
QColor CategoryColor(SizeCategory category);

// A package's entries drawn as a treemap: a rectangle per entry, as large as its share of the
// file's stored bytes, coloured by category, inside a framed rectangle per top-level folder.
// Hovering names an entry in a tooltip; a click selects it.
class CTreemapView : public QWidget
{
    Q_OBJECT

public:
    // `listing` must outlive the view.
    explicit CTreemapView(const ContentsListing &listing, QWidget *parent = nullptr);

    // The layout for the view's current size, made once per size.
    const Treemap &treemap() const;
    // Outlines entry `index` (of the listing); -1 for none.
    void setSelectedEntry(qsizetype index);
    QSize sizeHint() const override;

signals:
    void entryClicked(qsizetype index);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    const ContentsListing &listing;
    QList<QByteArray> names;
    QList<qint64> sizes;
    mutable Treemap layout;
    mutable QSize laidOutFor;
    qsizetype selected = -1;
};
