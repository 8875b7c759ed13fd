#pragma once

#include "FormatReaders.h"
#include "base/Failure.h"

// The module's file name: beside the program, in the build tree's bin/ and in
// <prefix>/lib/pelmora/ alike.
constexpr char FormatModuleFileName[] = "libpelmora_formats.so";

// The readers of the formats module, loaded from the program's directory on the first call (and
// from no other place); later calls, from any thread, return the same. nullptr when it cannot be
// loaded: missing, one of its libraries missing, or built for another version of the readers.
// That is said once, through the complaint the program set (SetFormatModuleComplaint), and
// FormatModuleProblem() gives it for a verdict.
const FormatReaders *FormatModule();

// Loads the module now, as FormatModule() would, but says nothing yet: for a program that can
// load it while it waits for something else.
void PrepareFormatModule();

// Why FormatModule() gives nothing; no failure when it gives the readers.
Failure FormatModuleProblem();
