#pragma once

#include "PermissionDefinitions.h"
#include "formats/ApkManifest.h"

// Who defines a permission a package asks for.
enum class PermissionSource
{
    Platform, // framework-res.apk (PlatformPackage)
    Package,  // the package itself
    Unknown,  // neither: another app, or a newer platform than the one the levels come from
};

struct RequestedPermission
{
    QString name;
    QString maxSdk; // as written; empty when none
    PermissionSource source = PermissionSource::Unknown;
    PermissionDefinition definition; // its name alone, no level, when the source is unknown
};

// Each permission `manifest` asks for, then each of the platform's among `alsoRequested` it
// does not name (those Android adds for a package that targets an old platform, which the
// badging tool lists), once and in that order, with its definition: the platform's
// (ThePlatformPermissions), which a package cannot take over, else the package's own among
// `declared`.
QList<RequestedPermission> RankRequestedPermissions(const ApkManifest &manifest,
                                                    const QStringList &alsoRequested,
                                                    const QList<PermissionDefinition> &declared);
