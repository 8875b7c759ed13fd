#include "LoadPackageIcon.h"

#include "PackageFacts.h"
#include "apk/LauncherIcon.h"
#include "archive/ZipArchive.h"
#include "formats/Formats.h"
#include "inspect/ExtensionRule.h"
#include "inspect/PackageFile.h"
#include "inspect/ToolCapture.h"
#include "inspect/ToolTarget.h"

std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path)
{
    // Opened once: the tool and the icon read the same file.
    const PackageFile package(path);
    if (!package.keptToOneContent())
        return std::nullopt;
    const ToolTarget target(package, ReadPackageName(path).bundle);
    if (target.damaged())
        return std::nullopt;
    // The tool names the icon's bitmaps quicker than a large resource table loads, so it is asked
    // first, and the archive is opened while it runs. So is the formats module: most apps'
    // launcher icons are adaptive, which only it reads.
    ToolRun tool(target.command(), target.descriptor());
    const ZipArchive archive(target.apk(), target.budget());
    PrepareFormatReaders();
    QByteArray output;
    tool.finish(output);
    // A tool killed for running or writing too long leaves the package damaged, as in the
    // window.
    if (tool.timedOut() || tool.wroteTooMuch())
        return std::nullopt;
    std::optional<PackageIcon> icon = ReadLauncherIcon(archive, ReadPackageFacts(output).icons);
    if (package.changed())
        return std::nullopt;
    return icon;
}
