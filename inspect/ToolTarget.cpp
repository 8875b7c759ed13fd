#include "ToolTarget.h"

#include "BadgingCommand.h"
#include "ExtensionRule.h"
#include "digest/SafeFile.h"

ToolTarget::ToolTarget(const QByteArray &path) : path(path)
{
    if (NamedAsBundle(path))
        bundle = OpenBundleBase(SafeFile(path));
    // A file named ".apks" that is a plain APK after all goes to the tool as it is.
    if (!readsBase())
        argument.emplace(path);
}

QStringList ToolTarget::command() const
{
    QStringList command;
    BuildBadgingCommand(command, readsBase() ? QString::fromLatin1(bundle->base->childPath())
                                             : argument->text());
    return command;
}

int ToolTarget::descriptor() const
{
    return readsBase() ? bundle->base->descriptor() : argument->descriptor();
}

QByteArray ToolTarget::apkPath() const
{
    return readsBase() ? bundle->base->procPath() : path;
}

QByteArray ToolTarget::baseEntry() const
{
    return readsBase() ? bundle->baseEntry : QByteArray();
}
