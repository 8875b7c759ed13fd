#pragma once

#include "PackageArgument.h"
#include "bundle/OpenBundleBase.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

// What the badging tool reads for a package: the file itself, by its name or as /dev/fd/N for a
// name that is not UTF-8, or, for a file named as a bundle, its base from an anonymous memory
// file. Nothing is written to disk either way.
class ToolTarget
{
public:
    explicit ToolTarget(const QByteArray &path);
    ToolTarget(const ToolTarget &) = delete;
    ToolTarget &operator=(const ToolTarget &) = delete;

    // A file named as a bundle that is not a readable ZIP or holds no readable base.
    bool damaged() const { return bundle && bundle->outcome == BundleOutcome::Damaged; }
    // The tool's command line and the descriptor it must inherit (-1 for none).
    QStringList command() const;
    int descriptor() const;
    // A path this process can open to read the APK the tool reads.
    QByteArray apkPath() const;
    // The base's entry inside the bundle; empty for a plain APK.
    QByteArray baseEntry() const;

private:
    bool readsBase() const { return bundle && bundle->outcome == BundleOutcome::Bundle; }

    QByteArray path;
    std::optional<BundleOpening> bundle;
    std::optional<PackageArgument> argument;
};
