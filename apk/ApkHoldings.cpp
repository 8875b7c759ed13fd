#include "ApkHoldings.h"

#include "Frameworks.h"
#include "formats/ApkManifest.h"

ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive)
{
    ApkHoldings holdings{ReadDexFiles(archive),
                         DetectFrameworks(archive),
                         ListContents(file, archive),
                         ReadManifestDocument(archive),
                         {}};
    if (holdings.manifest)
        holdings.declaredPermissions = ReadDeclaredPermissions(*holdings.manifest, archive);
    return holdings;
}
