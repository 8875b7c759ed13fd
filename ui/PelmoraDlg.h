#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

class DataExchange;

// What the four boxes of the main dialog show.
struct DisplayFields
{
    QString pathText;
    QString packageText;
    QString md5Text;
    QString versionText;
};

// The main window: four read-only boxes that show the last dropped package.
class CPelmoraDlg : public QDialog
{
    Q_OBJECT

public:
    enum ControlId
    {
        PathBox = 1000,
        PackageBox = 1006,
        Md5Box = 1007,
        VersionBox = 1009
    };

    explicit CPelmoraDlg(QWidget *parent = nullptr);

    const DisplayFields &displayFields() const { return fields; }
    QWidget *GetDlgItem(int controlId) const { return controls.value(controlId); }
    // Copies the display fields into the boxes, or with `saveAndValidate` the boxes back.
    void UpdateData(bool saveAndValidate);

protected:
    virtual void DoDataExchange(const DataExchange &dx);
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void InspectDroppedFile(QDropEvent *drop);
    void ClearInspection();

    QHash<int, QWidget *> controls;
    DisplayFields fields;
};
