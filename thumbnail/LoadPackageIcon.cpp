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
    QByteArray output;
    if (!BuildBadgingCommand(command, argument.text()) ||
        !RunToolCapture(command, output, argument.descriptor()))
        return std::nullopt;
    const PackageFacts facts = ReadPackageFacts(output);
    const SafeFile file(path);
    return ReadBitmapIcon(ZipArchive(file), facts.icons);
}
