#include "ToolTarget.h"

#include "BadgingCommand.h"
#include "ExtensionRule.h"

ToolTarget::ToolTarget(const PackageFile &package) : package(package)
{
    if (NamedAsBundle(package.path()))
        bundle = OpenBundleBase(package.file());
    // A file named ".apks" that is a plain APK after all goes to the tool as it is.
    if (readsBase())
        base.emplace(bundle->base->descriptor());
}

QStringList ToolTarget::command() const
{
    QStringList command;
    BuildBadgingCommand(command, readsBase() ? QString::fromLatin1(bundle->base->childPath())
                                             : package.childPath());
    return command;
}

int ToolTarget::descriptor() const
{
    return readsBase() ? bundle->base->descriptor() : package.descriptor();
}

QByteArray ToolTarget::baseEntry() const
{
    return readsBase() ? bundle->baseEntry : QByteArray();
}

std::shared_ptr<InflateBudget> ToolTarget::budget() const
{
    return readsBase() ? bundle->budget : nullptr;
}
