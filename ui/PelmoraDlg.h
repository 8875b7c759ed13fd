#pragma once

#include "inspect/DisplayFields.h"
#include "inspect/Inspection.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <optional>

class DataExchange;
class QAction;
class QMenu;

// The main window: four read-only boxes that show the last inspected package, and a window menu
// with "open", "details", "compare", "close" and "about".
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
    enum SysCommand : unsigned
    {
        IdmAboutBox = 0x0010,
        IdmOpen = 0x0020,
        IdmDetails = 0x0030,
        IdmCompare = 0x0040,
        ScClose = 0xF060
    };

    explicit CPelmoraDlg(QWidget *parent = nullptr);

    const DisplayFields &displayFields() const { return fields; }
    // Set while the boxes show a package: after an inspection that the tool did not call
    // damaged and that found a package name.
    const std::optional<InspectedPackage> &inspectedPackage() const { return inspected; }
    QWidget *GetDlgItem(int controlId) const { return controls.value(controlId); }
    QMenu *GetSystemMenu() const { return systemMenu; }
    // Copies the display fields into the boxes, or with `saveAndValidate` the boxes back.
    void UpdateData(bool saveAndValidate);
    // Every window-menu command arrives here; the low four bits are the system's own.
    void OnSysCommand(unsigned commandId);
    // Inspects `path` (the name's bytes as the file system has them) under a wait cursor and
    // shows the result: the open dialog and the command line come in here.
    void InspectFile(const QByteArray &path);
    // Shows what an inspection found: the message first, if any, then all four boxes at once.
    void ShowInspection(const InspectionResult &result);

protected:
    virtual void DoDataExchange(const DataExchange &dx);
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void OnInitDialog();
    void ShowWindowMenu();
    // The file dialog, opening in the folder of the last package; the chosen file's bytes.
    QByteArray ChoosePackage(const QString &title);
    void OpenPackage();
    // The files-dropped handler, run from the event loop once the drop itself has finished.
    void InspectDroppedFile(const QByteArray &droppedPath);
    void UpdateDetailsCommand();
    void OnDetails();
    // Asks for a second package and compares the one shown with it.
    void OnCompare();

    QHash<int, QWidget *> controls;
    DisplayFields fields;
    std::optional<InspectedPackage> inspected;
    QByteArray lastInspectedPath;
    QMenu *systemMenu = nullptr;
    QAction *detailsCommand = nullptr;
    QAction *compareCommand = nullptr;
};
