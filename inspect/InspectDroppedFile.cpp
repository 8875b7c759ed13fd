#include "BadgingCommand.h"
#include "BadgingParser.h"
#include "ExtensionRule.h"
#include "NarrowText.h"
#include "ToolCapture.h"
#include "digest/FileMd5.h"
#include "ui/MessageBox.h"
#include "ui/PelmoraDlg.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>

namespace {

// Shows the wait cursor while the tool and the digest run; gone before any message box.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

QString FirstDroppedPath(const QDropEvent *drop)
{
    const QList<QUrl> urls = drop->mimeData()->urls();
    return urls.isEmpty() ? QString() : urls.first().toLocalFile();
}

} // namespace

void CPelmoraDlg::InspectDroppedFile(QDropEvent *drop)
{
    inspected.reset();
    UpdateDetailsCommand();
    const QString path = FirstDroppedPath(drop);
    const QStringView extension = FindExtension(path);
    // Case-sensitive, and only the first four characters count, so ".apkx" passes.
    if (!extension.startsWith(u".apk")) {
        ClearInspection();
        ShowMessage(this, extension.isEmpty() ? QStringLiteral("不处理文件夹")
                                              : QStringLiteral("类型错误"));
        UpdateData(false);
        return;
    }

    fields.pathText = path;
    BadgingStatus status;
    {
        const WaitCursor busy;
        QStringList command;
        QByteArray output;
        BadgingInfo info;
        BuildBadgingCommand(command, path);
        RunToolCapture(command, output);
        status = ParseBadging(output, info);
        if (status != ToolError) {
            fields.packageText = FromNarrow(info.packageName);
            QByteArray digest;
            ComputeFileMd5(path, digest);
            fields.md5Text = FromNarrow(digest);
            fields.versionText = FromNarrow(info.versionName);
            if (!info.packageName.isEmpty())
                inspected = InspectedPackage{QFile::encodeName(path), output, digest};
        }
    }
    if (status == ToolError) {
        ShowMessage(this, QStringLiteral("apk类型已经损坏"));
        ClearInspection();
    }
    UpdateData(false);
    UpdateDetailsCommand();
    QDialog::dropEvent(drop);
}
