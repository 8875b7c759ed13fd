#include "LoadPackageIcon.h"

#include "archive/ZipArchive.h"
#include "details/PackageFacts.h"
#include "digest/SafeFile.h"
#include "inspect/BadgingCommand.h"
#include "inspect/PackageArgument.h"
#include "inspect/ToolCapture.h"

std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path)
{
    const PackageArgument argument(path);
    QStringList command;
    if (!BuildBadgingCommand(command, argument.text()))
        return std::nullopt;
    // The archive's directory is read while the tool runs in its own process.
    ToolRun tool(command, argument.descriptor());
    const SafeFile file(path);
    const ZipArchive archive(file);
    QByteArray output;
    if (!tool.finish(output))
        return std::nullopt;
    return ReadBitmapIcon(archive, ReadPackageFacts(output).icons);
}
