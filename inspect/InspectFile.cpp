#include "BadgingCommand.h"
#include "BadgingParser.h"
#include "ExtensionRule.h"
#include "NarrowText.h"
#include "PackageArgument.h"
#include "ToolCapture.h"
#include "digest/FileMd5.h"
#include "ui/MessageBox.h"
#include "ui/PelmoraDlg.h"
#include "ui/WaitCursor.h"

bool CPelmoraDlg::InspectFile(const QByteArray &path)
{
    inspected.reset();
    UpdateDetailsCommand();
    if (!path.isEmpty())
        lastInspectedPath = path;
    // Shown as UTF-8; bytes that do not decode show as U+FFFD, while the tool and the digest
    // get the name's own bytes.
    const QString shownPath = FromNarrow(path);
    const QStringView extension = FindExtension(shownPath);
    // Case-sensitive, and only the first four characters count, so ".apkx" passes.
    if (!extension.startsWith(u".apk")) {
        ClearInspection();
        ShowMessage(this, extension.isEmpty() ? QStringLiteral("不处理文件夹")
                                              : QStringLiteral("类型错误"));
        UpdateData(false);
        return false;
    }

    fields.pathText = shownPath;
    BadgingStatus status;
    {
        const WaitCursor busy;
        const PackageArgument argument(path);
        QStringList command;
        BuildBadgingCommand(command, argument.text());
        // The tool is another process: the file is hashed while it runs. Between chunks its
        // output is taken in, and once it has said "ERROR" the digest is of no use.
        ToolRun tool(command, argument.descriptor());
        BadgingInfo info;
        QByteArray digest;
        ComputeFileMd5(path, digest, [&] {
            tool.drain();
            BadgingInfo ignored;
            return ParseBadging(tool.outputSoFar(), ignored) != ToolError;
        });
        QByteArray output;
        tool.finish(output);
        status = ParseBadging(output, info);
        if (status != ToolError) {
            fields.packageText = FromNarrow(info.packageName);
            fields.md5Text = FromNarrow(digest);
            fields.versionText = FromNarrow(info.versionName);
            if (!info.packageName.isEmpty())
                inspected = InspectedPackage{path, output, digest};
        }
    }
    if (status == ToolError) {
        ShowMessage(this, QStringLiteral("apk类型已经损坏"));
        ClearInspection();
    }
    UpdateData(false);
    UpdateDetailsCommand();
    return true;
}
