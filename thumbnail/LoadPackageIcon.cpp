#include "LoadPackageIcon.h"

#include "archive/ZipArchive.h"
#include "bundle/OpenBundleBase.h"
#include "details/LauncherIcon.h"
#include "details/PackageFacts.h"
#include "digest/SafeFile.h"
#include "inspect/BadgingCommand.h"
#include "inspect/ExtensionRule.h"
#include "inspect/PackageArgument.h"
#include "inspect/ToolCapture.h"

namespace {

// The tool names the icon's bitmaps quicker than a large resource table loads, so it is asked
// first, and the archive is opened while it runs.
std::optional<PackageIcon> IconOf(const QByteArray &apkPath, const QString &toolArgument,
                                  int keptDescriptor)
{
    QStringList command;
    BuildBadgingCommand(command, toolArgument);
    ToolRun tool(command, keptDescriptor);
    const SafeFile file(apkPath);
    const ZipArchive archive(file);
    QByteArray output;
    tool.finish(output);
    return ReadLauncherIcon(archive, ReadPackageFacts(output).icons);
}

} // namespace

std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path)
{
    if (NamedAsBundle(path)) {
        const BundleOpening bundle = OpenBundleBase(SafeFile(path));
        if (bundle.outcome == BundleOutcome::Damaged)
            return std::nullopt;
        if (bundle.outcome == BundleOutcome::Bundle)
            return IconOf(bundle.base->procPath(), QString::fromLatin1(bundle.base->childPath()),
                          bundle.base->descriptor());
    }
    const PackageArgument argument(path);
    return IconOf(path, argument.text(), argument.descriptor());
}
