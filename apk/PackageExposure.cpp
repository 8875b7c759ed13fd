#include "PackageExposure.h"

PackageExposure ReadPackageExposure(const XmlDocument &manifest, const ZipArchive &archive)
{
    ManifestValues values([&archive] { return OpenResourceTable(archive); });
    PackageExposure exposure;
    exposure.sdk = DeclaredSdkLevels(manifest, values);
    exposure.components = ReadDeclaredComponents(manifest, exposure.sdk, values);
    exposure.flags = ReadSecurityFlags(manifest, exposure.sdk, values);
    return exposure;
}
