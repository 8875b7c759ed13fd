#include "PlatformPackage.h"

#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"

namespace {

PlatformPackage ReadPlatformPackage()
{
    PlatformPackage platform;
    const SafeFile file{QByteArray(PlatformPackage::Path)};
    const ZipArchive archive(file);
    if (!archive.isOpen()) {
        platform.problem = {FailureCode::PlatformPackageUnreadable,
                            {QLatin1String(PlatformPackage::Path)}};
        return platform;
    }
    platform.table = OpenResourceTable(archive);
    platform.manifest = ReadManifestDocument(archive);
    if (!platform.table || !platform.manifest)
        platform.problem = {FailureCode::PlatformPackageMalformed,
                            {QLatin1String(PlatformPackage::Path)}};
    return platform;
}

} // namespace

const PlatformPackage &ThePlatformPackage()
{
    static const PlatformPackage platform = ReadPlatformPackage();
    return platform;
}
