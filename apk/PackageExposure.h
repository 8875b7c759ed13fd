#pragma once

#include "DeclaredComponents.h"
#include "SecurityFlags.h"

class ZipArchive;

// What a package opens to other apps and how it is built to run, as its manifest declares.
struct PackageExposure
{
    SdkLevels sdk;
    DeclaredComponents components;
    SecurityFlags flags;
};

// The exposure `manifest` declares; its references followed through the resource table of
// `archive`, read only when the manifest holds one.
PackageExposure ReadPackageExposure(const XmlDocument &manifest, const ZipArchive &archive);
