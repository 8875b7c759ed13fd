#pragma once

#include "CommandLine.h"

// `pelmora --contents FILE`: every entry of the package with its method and sizes, as text or as
// one JSON object that also gives the sizes by category. The file is opened as an inspection
// opens it and read through that one open file; a bundle lists its own entries. Returns the exit
// status: 0 when the listing is whole, 1 when the file cannot be listed (a message on standard
// error then, nothing on standard output).
int RunContents(const ContentsRequest &request);
