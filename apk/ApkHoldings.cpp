#include "ApkHoldings.h"

#include "Frameworks.h"
#include "formats/ApkManifest.h"

ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive)
{
    ApkHoldings holdings{ReadDexFiles(archive),
                         DetectFrameworks(archive),
                         ListContents(file, archive),
                         ReadManifestDocument(archive),
                         std::nullopt,
                         {}};
    if (holdings.manifest) {
        holdings.exposure = ReadPackageExposure(*holdings.manifest, archive);
        holdings.declaredPermissions = ReadDeclaredPermissions(*holdings.manifest, archive);
    }
    return holdings;
}
