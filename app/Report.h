#pragma once

#include "CommandLine.h"

// `pelmora --report`: one record per package on standard output, in the order of the paths
// given whatever the number of jobs, and a progress line on a terminal's standard error.
// Returns the exit status: 0 when every package passed, 1 otherwise.
int RunReport(const ReportRequest &request);
