#include "LoadPackageIcon.h"

#include "archive/ZipArchive.h"
#include "details/LauncherIcon.h"
#include "details/PackageFacts.h"
#include "digest/SafeFile.h"
#include "inspect/ToolCapture.h"
#include "inspect/ToolTarget.h"

std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path)
{
    const ToolTarget target(path);
    if (target.damaged())
        return std::nullopt;
    // The tool names the icon's bitmaps quicker than a large resource table loads, so it is asked
    // first, and the archive is opened while it runs.
    ToolRun tool(target.command(), target.descriptor());
    const SafeFile file(target.apkPath());
    const ZipArchive archive(file);
    QByteArray output;
    tool.finish(output);
    return ReadLauncherIcon(archive, ReadPackageFacts(output).icons);
}
