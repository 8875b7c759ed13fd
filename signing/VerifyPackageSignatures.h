#pragma once

#include "SignatureReport.h"

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
