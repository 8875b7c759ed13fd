#pragma once

#include "signing/PlatformSignatureCheck.h"

class SafeFile;
class ZipArchive;

// The platforms the package's manifest says it runs on, as the signature check judges them: from
// its minSdkVersion (1 without one) through the newest. A ZIP without a manifest is no APK Android
// installs (an APKM container, say); its JAR signature is judged as the versions that run
// installers today judge one. A manifest that does not read (too large, damaged, no formats
// module), or whose minimum apksig cannot read, leaves the platforms unknown, saying why.
PackagePlatforms ManifestPlatforms(const ZipArchive &archive);

// Checks every signature scheme the package carries (JAR, v2, v3, v3.1) and reads its signers'
// certificates. The verdict is whether every Android version the manifest's platforms take in
// accepts the package, each version with the schemes it verifies; each scheme's own result is
// kept beside it. `archive` is the same file's entries, opened by the caller, who may need them
// too; an archive that did not open (one that reads more than one way, say) gives its problem as
// the failure, and nothing in it is judged. Reads only; nothing is written, and nothing but the
// open file decides the result.
SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive);

// The same check split at what reads the whole package (PlatformSignatureCheck), over the
// manifest's platforms.
class SignatureCheck : public PlatformSignatureCheck
{
public:
    SignatureCheck(const SafeFile &file, const ZipArchive &archive);
};
