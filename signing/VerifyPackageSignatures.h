#pragma once

#include "SignatureReport.h"

class SafeFile;
class ZipArchive;

// Checks every signature scheme the package carries (JAR, v2, v3) and reads its signers'
// certificates. `archive` is the same file's entries, opened by the caller, who may need them
// too; an archive that did not open (one that reads more than one way, say) gives its problem
// as the failure, and nothing in it is judged. Reads only; nothing is written, and nothing but
// the open file decides the result.
SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive);
