#include "VerifyPackageSignatures.h"

#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "formats/ApkManifest.h"
#include "signing/ApiLevels.h"

namespace {

// The SDK level the package targets, as Android's signing tools take it: targetSdkVersion, else
// the minimum; a preview's codename targets a release newer than any known. Nothing when the
// manifest does not tell it.
std::optional<int> TargetSdkLevel(const ApkManifest &manifest)
{
    if (manifest.targetSdkUnknown)
        return std::nullopt;
    if (manifest.targetSdk.isEmpty())
        return manifest.minSdkLevel;
    bool number = false;
    const int level = manifest.targetSdk.toInt(&number);
    return number ? level : ApiLevel::Newest;
}

// Read only for a file and an archive the check will judge, as the check itself would.
PackagePlatforms PlatformsToJudge(const SafeFile &file, const ZipArchive &archive)
{
    return file.isOpen() && archive.isOpen() ? ManifestPlatforms(archive) : PackagePlatforms();
}

} // namespace

PackagePlatforms ManifestPlatforms(const ZipArchive &archive)
{
    const ManifestReading reading = ReadManifestEntry(archive);
    PackagePlatforms platforms;
    platforms.problem = reading.problem;
    if (reading.manifest && !reading.manifest->minSdkLevel)
        platforms.problem = {FailureCode::MinSdkUnknown};
    platforms.minSdk = platforms.problem.failed() ? 1
                       : reading.manifest         ? *reading.manifest->minSdkLevel
                                                  : ApiLevel::Nougat;
    if (reading.manifest) {
        platforms.targetSdk = TargetSdkLevel(*reading.manifest);
        platforms.targetSandbox = reading.manifest->targetSandboxVersion;
    }
    return platforms;
}

SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive)
{
    return VerifySignaturesFor(file, archive, PlatformsToJudge(file, archive));
}

SignatureCheck::SignatureCheck(const SafeFile &file, const ZipArchive &archive)
    : PlatformSignatureCheck(file, archive, PlatformsToJudge(file, archive))
{
}
