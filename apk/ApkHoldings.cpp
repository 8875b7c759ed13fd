#include "ApkHoldings.h"

#include "Frameworks.h"
#include "formats/ApkManifest.h"

ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive)
{
    return {ReadDexFiles(archive), DetectFrameworks(archive), ListContents(file, archive),
            ReadManifestDocument(archive)};
}
