#pragma once

#include "details/DetailsSection.h"

#include <QDialog>
#include <QHash>

class QFormLayout;
class QScrollArea;
class QVBoxLayout;

// The details window: sections of labelled, read-only, selectable values in a form that
// scrolls and resizes, and a button that copies all of it. Each value's field is named for
// accessibility by its label. A package dropped on it is handed on to be compared.
class CDetailsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDetailsDlg(const QString &packageName, QWidget *parent = nullptr);

    // Appends `section` below the others; a titled one is framed under its title.
    void addSection(DetailsSection section);
    // Appends a labelled widget of the caller's to the section titled `sectionTitle`, which
    // takes it over; "复制全部" leaves it out.
    void addField(const QString &sectionTitle, const QString &label, QWidget *field);
    // What "复制全部" puts on the clipboard.
    QString copyText() const { return DetailsText(sections); }
    QSize sizeHint() const override;

signals:
    // A file dropped on the window, taken as a copy; sent once the drop has ended.
    void packageDropped(const QByteArray &path);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QWidget *createField(DetailsRow &row);

    QScrollArea *scroll;
    QVBoxLayout *sectionsLayout;
    QList<DetailsSection> sections;
    QHash<QString, QFormLayout *> forms; // by section title
};
