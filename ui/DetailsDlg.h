#pragma once

#include "details/DetailsSection.h"

#include <QDialog>

class QScrollArea;
class QVBoxLayout;

// The details window: sections of labelled, read-only, selectable values in a form that
// scrolls and resizes, and a button that copies all of it. Each value's field is named for
// accessibility by its label.
class CDetailsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDetailsDlg(const QString &packageName, QWidget *parent = nullptr);

    // Appends `section` below the others; a titled one is framed under its title.
    void addSection(DetailsSection section);
    // What "复制全部" puts on the clipboard.
    QString copyText() const { return DetailsText(sections); }
    QSize sizeHint() const override;

private:
    QWidget *createField(DetailsRow &row);

    QScrollArea *scroll;
    QVBoxLayout *sectionsLayout;
    QList<DetailsSection> sections;
};
