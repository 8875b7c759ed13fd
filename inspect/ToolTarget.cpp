#include "ToolTarget.h"

#include "BadgingCommand.h"
#include "bundle/StoredCopy.h"

ToolTarget::ToolTarget(const PackageFile &package, bool namedAsBundle, BaseCopy copy)
    : package(package)
{
    if (namedAsBundle)
        bundle = OpenBundleBase(package.file(), copy);
    // A file named ".apks" that is a plain APK after all goes to the tool as it is.
    if (readsBase() && !bundle->base)
        pending = std::make_unique<StoredCopy>(bundle->storedOffset, bundle->storedSize);
}

ToolTarget::~ToolTarget() = default;

bool ToolTarget::ready() const
{
    return !pending || pending->complete();
}

ByteSink *ToolTarget::pendingCopy()
{
    return ready() ? nullptr : pending.get();
}

bool ToolTarget::finishCopy()
{
    return !pending || pending->completeFrom(package.file());
}

const MemoryFile &ToolTarget::baseFile() const
{
    return pending ? pending->file() : *bundle->base;
}

QStringList ToolTarget::command() const
{
    QStringList command;
    BuildBadgingCommand(command, readsBase() ? QString::fromLatin1(baseFile().childPath())
                                             : package.childPath());
    return command;
}

int ToolTarget::descriptor() const
{
    return readsBase() ? baseFile().descriptor() : package.descriptor();
}

const SafeFile &ToolTarget::apk() const
{
    if (!readsBase())
        return package.file();
    if (!base)
        base.emplace(baseFile().descriptor());
    return *base;
}

QByteArray ToolTarget::baseEntry() const
{
    return readsBase() ? bundle->baseEntry : QByteArray();
}

std::shared_ptr<InflateBudget> ToolTarget::budget() const
{
    return readsBase() ? bundle->budget : nullptr;
}
