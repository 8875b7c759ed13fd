#pragma once

#include "CommandLine.h"

// `pelmora --manifest FILE`: the package's manifest, or a bundle's base's, as indented XML text
// (ManifestText). The file is opened as an inspection opens it and read through that one open
// file. Returns the exit status: 0 when the text is whole, 1 when the file has no manifest that
// reads (a message on standard error then, nothing on standard output).
int RunManifest(const ManifestRequest &request);
