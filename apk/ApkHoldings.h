#pragma once

#include "ContentsListing.h"
#include "DexFiles.h"
#include "PackageExposure.h"
#include "PermissionDefinitions.h"
#include "formats/XmlDocument.h"

#include <QStringList>
#include <optional>

// What one APK holds that costs and identifies its build: the DEX files Android loads, the
// frameworks its entries mark and its bytes by category, all from the central directory and a
// few entries' first bytes; and its manifest as written, for what it declares and exposes.
struct ApkHoldings
{
    QList<DexFile> dexFiles;
    QStringList frameworks;
    ContentsListing contents;
    std::optional<XmlDocument> manifest;             // nothing when it does not read
    std::optional<PackageExposure> exposure;         // from the manifest; nothing without it
    QList<PermissionDefinition> declaredPermissions; // the manifest's own <permission>s
};

// The holdings of `archive`, opened over `file`.
ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive);
