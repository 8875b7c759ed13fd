#pragma once

#include "details/DetailsSection.h"

#include <QDialog>
#include <memory>

class DetailsLoading;
class QProgressBar;
class QScrollArea;
class QTimer;
class QVBoxLayout;
struct InspectedPackage;

// The details window: sections of labelled, read-only, selectable values in a form that
// scrolls and resizes, and a button that copies all of it. Each value's field is named for
// accessibility by its label.
class CDetailsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDetailsDlg(const QString &packageName, QWidget *parent = nullptr);
    ~CDetailsDlg() override;

    // Appends `section` below the others; a titled one is framed under its title.
    void addSection(DetailsSection section);
    // Shows what is known of `inspected` at once and the rest as worker threads read it (see
    // DetailsLoading), under a progress bar that says "计算中…" until all is in. Closing the
    // window stops them.
    void load(const InspectedPackage &inspected);
    // Whether everything is shown: nothing is loading.
    bool loaded() const { return !loading; }
    // What "复制全部" puts on the clipboard: what the window shows, pending parts as such.
    QString copyText() const { return DetailsText(sections); }
    QSize sizeHint() const override;

public slots:
    void done(int result) override;

private:
    QWidget *createField(DetailsRow &row);
    void showTitle(const QString &packageName);
    // Replaces every section with those of the details loaded so far.
    void showLoaded();
    void showProgress();

    QScrollArea *scroll;
    QVBoxLayout *sectionsLayout;
    QList<DetailsSection> sections;
    QProgressBar *progress;
    QTimer *progressTimer;
    std::unique_ptr<DetailsLoading> loading;
};
