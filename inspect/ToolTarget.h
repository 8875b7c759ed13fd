#pragma once

#include "PackageFile.h"
#include "bundle/OpenBundleBase.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <optional>

class ByteSink;
class StoredCopy;

// What the badging tool reads for an open package: the file itself, as /dev/fd/N of the one
// descriptor every other reader uses too, or, for a file named as a bundle, its base from a
// sealed anonymous memory file. Nothing is written to disk either way.
class ToolTarget
{
public:
    // `namedAsBundle`: the package's name says it is a bundle (PackageName), so it is opened to
    // find its base. With BaseCopy::Later a base the bundle stores as it is gets copied by the
    // caller's own read of the file: it feeds pendingCopy() until ready().
    ToolTarget(const PackageFile &package, bool namedAsBundle, BaseCopy copy = BaseCopy::Now);
    ~ToolTarget();
    ToolTarget(const ToolTarget &) = delete;
    ToolTarget &operator=(const ToolTarget &) = delete;

    // A file named as a bundle that is not a readable ZIP, holds no readable base or goes past
    // a limit; `problem()` says which.
    bool damaged() const { return bundle && bundle->outcome == BundleOutcome::Damaged; }
    const Failure &problem() const { return bundle->problem; }
    // Whether the tool can start: all it reads is there.
    bool ready() const;
    // The base's copy still to be fed by a read of the bundle file; null when there is none.
    ByteSink *pendingCopy();
    // Copies what a read did not bring of the base straight from the file; false when it cannot,
    // and the tool then has nothing to read.
    bool finishCopy();
    // The tool's command line and the descriptor it must inherit (-1 for none); once ready().
    QStringList command() const;
    int descriptor() const;
    // The APK the tool reads, for reading here: the package's own file, or the base in memory;
    // once ready().
    const SafeFile &apk() const;
    // The base's entry inside the bundle; empty for a plain APK.
    QByteArray baseEntry() const;
    // What a file named as a bundle holds, as its entries say; of kind Apk for any other.
    BundleLayout layout() const { return bundle ? bundle->layout : BundleLayout{}; }
    // What every archive read out of a bundle draws on, so that a bundle inflates no more in
    // all than its container may; null for a plain APK.
    std::shared_ptr<InflateBudget> budget() const;

private:
    bool readsBase() const { return bundle && bundle->outcome == BundleOutcome::Bundle; }
    const MemoryFile &baseFile() const;

    const PackageFile &package;
    std::optional<BundleOpening> bundle;
    std::unique_ptr<StoredCopy> pending; // a stored base, copied as the caller reads the file
    mutable std::optional<SafeFile> base;
};
