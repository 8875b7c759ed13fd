#include "ApkHoldings.h"

#include "Frameworks.h"

ApkHoldings ReadApkHoldings(const SafeFile &file, const ZipArchive &archive)
{
    return {ReadDexFiles(archive), DetectFrameworks(archive), ListContents(file, archive)};
}
