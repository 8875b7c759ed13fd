#pragma once

#include "compare/ComparisonView.h"

#include <QDialog>
#include <memory>

class CReadProgress;
class ComparisonLoading;
class QFormLayout;
class QLabel;
class QScrollArea;
struct InspectedPackage;

// The comparison window: whether the new package installs over the old one as an update on
// top, the rules that keep it out and what changes below it, then the two packages side by
// side, the rows that differ highlighted, and a button that copies all of it. It opens at once
// and reads both packages on worker threads (ComparisonLoading) under a progress bar; closing
// it stops them.
class CCompareDlg : public QDialog
{
    Q_OBJECT

public:
    // The package shown and the one at `newPath`, inspected as a drop would be.
    CCompareDlg(const InspectedPackage &shown, const QByteArray &newPath,
                QWidget *parent = nullptr);
    ~CCompareDlg() override;

    // Whether both packages are read and compared.
    bool loaded() const { return !loading; }
    // What "复制全部" puts on the clipboard, as `pelmora --compare` prints it; empty until loaded.
    QString copyText() const { return text; }
    QSize sizeHint() const override;

public slots:
    void done(int result) override;

private:
    // Once both packages are read: the verdict, what fails and changes, the two side by side.
    void showComparison();

    QLabel *verdict;
    QFormLayout *summary;
    QScrollArea *scroll;
    CReadProgress *progress;
    std::unique_ptr<ComparisonLoading> loading;
    QString text;
};

// Shows the comparison of the package shown with the one at `newPath` over `parent`, modal.
void CompareShownWith(const InspectedPackage &shown, const QByteArray &newPath, QWidget *parent);
