#pragma once

#include "CommandLine.h"

// `pelmora --compare OLD NEW`: whether NEW installs over OLD as an update, the rules that keep
// it out and what changes, on standard output as text or one JSON object. Returns the exit
// status: 0 when NEW updates OLD, 1 otherwise.
int RunCompare(const CompareRequest &request);
