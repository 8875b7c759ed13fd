#pragma once

#include "SignatureReport.h"

class SafeFile;

// Checks every signature scheme the package carries (JAR, v2, v3) and reads its signers'
// certificates. Reads `file` only; nothing is written.
SignatureReport VerifyPackageSignatures(const SafeFile &file);
