#pragma once

#include "ApiLevels.h"
#include "SignatureReport.h"
#include "digest/ReadOnce.h"

#include <QString>
#include <memory>
#include <optional>

class SafeFile;
class ZipArchive;

// The platforms a package is judged for, from `minSdk` through the newest, as its caller reads
// them from the package's manifest: the check takes them as apksig's verifiers take
// minSdkVersion, and reads no manifest itself.
struct PackagePlatforms
{
    // A ZIP without a manifest is no APK Android installs (an APKM container, say); its JAR
    // signature is judged as the versions that run installers today judge one.
    int minSdk = ApiLevel::Nougat;
    // The SDK level the package targets, as Android's signing tools take it, and its
    // targetSandboxVersion; nothing when the manifest does not tell them.
    std::optional<int> targetSdk = 1;
    std::optional<int> targetSandbox = 1;
    // Why the platforms cannot be told (a manifest that does not read, a minimum apksig cannot
    // read): the verdict fails saying it, and each scheme is still checked over every platform
    // from API 1 (`minSdk`).
    Failure problem;
};

// Checks every signature scheme the package carries (JAR, v2, v3, v3.1) and reads its signers'
// certificates. The verdict is whether every Android version of `platforms` accepts the package,
// each version with the schemes it verifies; each scheme's own result is kept beside it.
// `archive` is the same file's entries, opened by the caller, who may need them too; an archive
// that did not open (one that reads more than one way, say) gives its problem as the failure,
// and nothing in it is judged. Reads only; nothing is written, and nothing but the open file and
// `platforms` decide the result.
SignatureReport VerifySignaturesFor(const SafeFile &file, const ZipArchive &archive,
                                    const PackagePlatforms &platforms);

// The same check, split at what reads the whole package: the v2/v3 content digests and the JAR
// entries' digests. Everything else (the layout, the signing block and its signers, the JAR
// signature files and manifest) is read and checked when it is made; then a read of the whole
// file, in order, feeds it as it feeds the file's own digests, and finish() judges. Memory stays
// bounded whatever the package's size: one entry is decoded at a time.
class PlatformSignatureCheck : public ByteSink
{
public:
    PlatformSignatureCheck(const SafeFile &file, const ZipArchive &archive,
                           const PackagePlatforms &platforms);
    ~PlatformSignatureCheck() override;

    void feed(qint64 offset, const unsigned char *data, std::size_t size) override;
    // Reads what feed() still needs from `file` itself, for a caller that reads nothing else.
    void readNeeded(const SafeFile &file);
    // The report; whatever was not fed whole counts as unreadable. Call once.
    SignatureReport finish();

private:
    struct State;
    std::unique_ptr<State> d;
};
