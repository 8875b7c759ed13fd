#include "PelmoraDlg.h"

#include "AboutDlg.h"
#include "CompareDlg.h"
#include "DataExchange.h"
#include "DetailsDlg.h"
#include "DialogTemplate.h"
#include "DropAsCopy.h"
#include "MessageBox.h"
#include "ResourcePng.h"
#include "StringTable.h"
#include "WaitCursor.h"
#include "details/PackageDetails.h"
#include "details/ShownDetails.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QShortcut>

namespace {
constexpr int MainDialogTemplate = 102;
constexpr int AboutMenuString = 101;
} // namespace

CPelmoraDlg::CPelmoraDlg(QWidget *parent)
    : QDialog(parent), controls(BuildFromTemplate(*this, MainDialogTemplate))
{
    OnInitDialog();
}

void CPelmoraDlg::OnInitDialog()
{
    UpdateData(false);

    // Window managers own the title-bar menu on Linux, so the dialog carries its own.
    systemMenu = new QMenu(this);
    QAction *open = systemMenu->addAction(QStringLiteral("打开(&O)..."), this,
                                          [this] { OnSysCommand(IdmOpen); });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setShortcutVisibleInContextMenu(true);
    detailsCommand = systemMenu->addAction(QStringLiteral("详细信息(&D)..."), this,
                                           [this] { OnSysCommand(IdmDetails); });
    detailsCommand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    detailsCommand->setShortcutVisibleInContextMenu(true);
    compareCommand = systemMenu->addAction(QStringLiteral("与另一个包比较(&M)..."), this,
                                           [this] { OnSysCommand(IdmCompare); });
    // Also the dialog's own actions, so that their shortcuts work while the menu is closed.
    addActions({open, detailsCommand});
    UpdateDetailsCommand();
    systemMenu->addAction(QStringLiteral("关闭(&C)"), this, [this] { OnSysCommand(ScClose); });
    const QString about = LoadResourceString(AboutMenuString);
    if (!about.isEmpty()) {
        systemMenu->addSeparator();
        systemMenu->addAction(about, this, [this] { OnSysCommand(IdmAboutBox); });
    }
    auto *shiftF10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(shiftF10, &QShortcut::activated, this, &CPelmoraDlg::ShowWindowMenu);
    // The context-menu key opens the window menu even while a box has the focus; a right click
    // on a box keeps the box's own copy menu.
    for (QWidget *box : std::as_const(controls))
        box->installEventFilter(this);

    setWindowIcon(QIcon(ResourcePng(QStringLiteral(":/res/icon128.png"))));
}

void CPelmoraDlg::OnSysCommand(unsigned commandId)
{
    const unsigned command = commandId & 0xFFF0;
    if (command == IdmAboutBox) {
        CAboutDlg about(this);
        about.exec();
    } else if (command == IdmOpen) {
        OpenPackage();
    } else if (command == IdmDetails) {
        OnDetails();
    } else if (command == IdmCompare) {
        OnCompare();
    } else if (command == ScClose) {
        close();
    }
    // Moving, sizing and the rest belong to the window manager here.
}

QByteArray CPelmoraDlg::ChoosePackage(const QString &title)
{
    const QFileInfo last(QFile::decodeName(lastInspectedPath));
    const QString folder = !lastInspectedPath.isEmpty() && last.dir().exists()
                               ? last.dir().absolutePath()
                               : QDir::homePath();
    const QString chosen = QFileDialog::getOpenFileName(
        this, title, folder, QStringLiteral("apk 文件 (*.apk*);;所有文件 (*)"));
    return chosen.isEmpty() ? QByteArray() : QFile::encodeName(chosen);
}

void CPelmoraDlg::OpenPackage()
{
    const QByteArray chosen = ChoosePackage(QStringLiteral("打开 apk 文件"));
    if (!chosen.isEmpty())
        InspectFile(chosen);
}

void CPelmoraDlg::OnCompare()
{
    if (!inspected)
        return;
    const QByteArray chosen = ChoosePackage(QStringLiteral("选择要比较的 apk 文件"));
    if (!chosen.isEmpty())
        CompareShownWith(*inspected, chosen, this);
}

void CPelmoraDlg::InspectFile(const QByteArray &path)
{
    if (!path.isEmpty())
        lastInspectedPath = path;
    const InspectionResult result = [&path] {
        const WaitCursor busy;
        return InspectPackage(path);
    }();
    ShowInspection(result);
}

void CPelmoraDlg::ShowInspection(const InspectionResult &result)
{
    inspected = result.package;
    UpdateDetailsCommand();
    if (!result.message.isNull())
        ShowMessage(this, result.message);
    const QString version = fields.versionText;
    fields = result.fields;
    if (result.keepsVersion)
        fields.versionText = version;
    UpdateData(false);
}

void CPelmoraDlg::UpdateDetailsCommand()
{
    detailsCommand->setEnabled(inspected.has_value());
    compareCommand->setEnabled(inspected.has_value());
}

void CPelmoraDlg::OnDetails()
{
    if (!inspected)
        return;
    // The window opens at once with what the tool said; the rest fills in as it is read.
    CDetailsDlg dialog(EscapeControls(ReadPackageFacts(inspected->toolOutput).packageName), this);
    dialog.load(*inspected);
    // A package dropped on the details window is compared with the one it shows.
    const InspectedPackage shown = *inspected;
    connect(&dialog, &CDetailsDlg::packageDropped, &dialog,
            [shown, &dialog](const QByteArray &path) { CompareShownWith(shown, path, &dialog); });
    dialog.exec();
}

void CPelmoraDlg::ShowWindowMenu()
{
    systemMenu->exec(mapToGlobal(QPoint(0, 0)));
}

void CPelmoraDlg::contextMenuEvent(QContextMenuEvent *event)
{
    systemMenu->exec(event->globalPos());
}

bool CPelmoraDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        ShowWindowMenu();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CPelmoraDlg::keyPressEvent(QKeyEvent *event)
{
    // A dialog without buttons still takes Enter as OK, and so closes, like Esc.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        accept();
    else
        QDialog::keyPressEvent(event);
}

void CPelmoraDlg::UpdateData(bool saveAndValidate)
{
    DoDataExchange(DataExchange(controls, saveAndValidate));
}

void CPelmoraDlg::DoDataExchange(const DataExchange &dx)
{
    dx.Text(PathBox, fields.pathText);
    dx.Text(PackageBox, fields.packageText);
    dx.Text(Md5Box, fields.md5Text);
    dx.Text(VersionBox, fields.versionText);
}

void CPelmoraDlg::dragEnterEvent(QDragEnterEvent *event)
{
    TakeAsCopy(event);
}

void CPelmoraDlg::dragMoveEvent(QDragMoveEvent *event)
{
    TakeAsCopy(event);
}

void CPelmoraDlg::dropEvent(QDropEvent *event)
{
    const QByteArray path = TakeAsCopy(event);
    if (path.isEmpty())
        return;
    // The drop ends here, so the source is free before the tool, the digest or a message box
    // holds this window; the inspection follows from the event loop.
    QMetaObject::invokeMethod(
        this, [this, path] { InspectDroppedFile(path); }, Qt::QueuedConnection);
}
