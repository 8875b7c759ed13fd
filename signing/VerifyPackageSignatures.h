#pragma once

#include "SignatureReport.h"

class SafeFile;
class ZipArchive;

// Checks every signature scheme the package carries (JAR, v2, v3) and reads its signers'
// certificates. `archive` is the same file's entries, opened by the caller, who may need them
// too. Reads only; nothing is written.
SignatureReport VerifyPackageSignatures(const SafeFile &file, const ZipArchive &archive);
