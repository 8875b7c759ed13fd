#pragma once

#include "PackageFile.h"
#include "bundle/OpenBundleBase.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

// What the badging tool reads for an open package: the file itself, as /dev/fd/N of the one
// descriptor every other reader uses too, or, for a file named as a bundle, its base from a
// sealed anonymous memory file. Nothing is written to disk either way.
class ToolTarget
{
public:
    explicit ToolTarget(const PackageFile &package);
    ToolTarget(const ToolTarget &) = delete;
    ToolTarget &operator=(const ToolTarget &) = delete;

    // A file named as a bundle that is not a readable ZIP, holds no readable base or goes past
    // a limit; `problem()` says which.
    bool damaged() const { return bundle && bundle->outcome == BundleOutcome::Damaged; }
    const QString &problem() const { return bundle->problem; }
    // The tool's command line and the descriptor it must inherit (-1 for none).
    QStringList command() const;
    int descriptor() const;
    // The APK the tool reads, for reading here: the package's own file, or the base in memory.
    const SafeFile &apk() const { return readsBase() ? *base : package.file(); }
    // The base's entry inside the bundle; empty for a plain APK.
    QByteArray baseEntry() const;
    // What every archive read out of a bundle draws on, so that a bundle inflates no more in
    // all than its container may; null for a plain APK.
    std::shared_ptr<InflateBudget> budget() const;

private:
    bool readsBase() const { return bundle && bundle->outcome == BundleOutcome::Bundle; }

    const PackageFile &package;
    std::optional<BundleOpening> bundle;
    std::optional<SafeFile> base;
};
