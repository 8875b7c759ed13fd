#pragma once

#include "details/DetailsSection.h"
#include "formats/XmlDocument.h"

#include <QDialog>
#include <QHash>
#include <memory>
#include <optional>

class CReadProgress;
class DetailsLoading;
class PackageFile;
class QPushButton;
class QFormLayout;
class QScrollArea;
class QVBoxLayout;
struct InspectedPackage;
struct PackageDetails;

// The details window: sections of labelled, read-only, selectable values in a form that
// scrolls and resizes, and a button that copies all of it. Each value's field is named for
// accessibility by its label. A package dropped on it is handed on to be compared.
class CDetailsDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDetailsDlg(const QString &packageName, QWidget *parent = nullptr);
    ~CDetailsDlg() override;

    // Appends `section` below the others; a titled one is framed under its title.
    void addSection(DetailsSection section);
    // Shows what is known of `inspected` at once and the rest as worker threads read it (see
    // DetailsLoading), under a progress bar that says "计算中…" until all is in; then the 签名
    // section gets its 预期签名者 field, and the download estimate follows in its row. Closing
    // the window stops them.
    void load(const InspectedPackage &inspected);
    // Whether everything but the download estimate is shown.
    bool loaded() const { return fullyShown || !loading; }
    // Whether the estimate is shown too: nothing is loading.
    bool estimateShown() const { return !loading; }
    // What "复制全部" puts on the clipboard: what the window shows, pending parts as such.
    QString copyText() const { return DetailsText(sections); }
    QSize sizeHint() const override;

public slots:
    void done(int result) override;

signals:
    // A file dropped on the window, taken as a copy; sent once the drop has ended.
    void packageDropped(const QByteArray &path);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QWidget *createField(DetailsRow &row);
    // Appends a labelled widget to the section titled `sectionTitle`, which takes it over;
    // "复制全部" leaves it out.
    void addField(const QString &sectionTitle, const QString &label, QWidget *field);
    void showTitle(const QString &packageName);
    // Replaces every section with those of the details loaded so far; once all but the
    // estimate is shown, only the estimate's row.
    void showLoaded();
    void showSections(const PackageDetails &details);
    // Puts the values of `section` in the fields of the section shown under its title.
    void refreshValues(const DetailsSection &section);

    QScrollArea *scroll;
    QVBoxLayout *sectionsLayout;
    QList<DetailsSection> sections;
    QHash<QString, QFormLayout *> forms; // by section title
    CReadProgress *progress;
    std::unique_ptr<DetailsLoading> loading;
    bool fullyShown = false; // all but the estimate, with the 预期签名者 field
    // "查看内容…": the package's entries in the contents window, from the file loaded.
    QPushButton *contentsButton;
    // "查看清单…": the manifest the holdings read, once they are in and it read.
    QPushButton *manifestButton;
    std::optional<XmlDocument> manifest;
    std::shared_ptr<const PackageFile> file;
    QString shownName; // the package name in the title
};
