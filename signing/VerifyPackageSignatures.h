#pragma once

#include "SignatureReport.h"
#include "digest/ReadOnce.h"

#include <memory>

class SafeFile;
class ZipArchive;

// Checks every signature scheme the package carries (JAR, v2, v3, v3.1) and reads its signers'
// certificates. The verdict is whether every Android version from the package's minimum SDK
// (its manifest's, 1 without one) through the newest accepts the package, each version with the
// schemes it verifies; each scheme's own result is kept beside it. `archive` is the same file's
// entries, opened by the caller, who may need them too; an archive that did not open (one that
// reads more than one way, say) gives its problem as the failure, and nothing in it is judged.
// Reads only; nothing is written, and nothing but the open file decides the result.
SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive);

// The same check, split at what reads the whole package: the v2/v3 content digests and the JAR
// entries' digests. Everything else (the layout, the signing block and its signers, the JAR
// signature files and manifest) is read and checked when it is made; then a read of the whole
// file, in order, feeds it as it feeds the file's own digests, and finish() judges. Memory stays
// bounded whatever the package's size: one entry is decoded at a time.
class SignatureCheck : public ByteSink
{
public:
    SignatureCheck(const SafeFile &file, const ZipArchive &archive);
    ~SignatureCheck() override;

    void feed(qint64 offset, const unsigned char *data, std::size_t size) override;
    // Reads what feed() still needs from `file` itself, for a caller that reads nothing else.
    void readNeeded(const SafeFile &file);
    // The report; whatever was not fed whole counts as unreadable. Call once.
    SignatureReport finish();

private:
    struct State;
    std::unique_ptr<State> d;
};
