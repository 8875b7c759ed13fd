#pragma once

#include "compare/ComparisonView.h"

#include <QDialog>

class QScrollArea;

// The comparison window: whether the new package installs over the old one as an update on
// top, the rules that keep it out and what changes below it, then the two packages side by
// side, the rows that differ highlighted, and a button that copies all of it.
class CCompareDlg : public QDialog
{
    Q_OBJECT

public:
    CCompareDlg(const ComparedPackage &oldPackage, const ComparedPackage &newPackage,
                QWidget *parent = nullptr);

    // What "复制全部" puts on the clipboard, as `pelmora --compare` prints it.
    QString copyText() const { return text; }
    QSize sizeHint() const override;

private:
    QScrollArea *scroll;
    QString text;
};

// Reads the package shown and the one at `newPath` (inspected as a drop would be) under a wait
// cursor, then shows their comparison over `parent`, modal.
void CompareShownWith(const InspectedPackage &shown, const QByteArray &newPath, QWidget *parent);
