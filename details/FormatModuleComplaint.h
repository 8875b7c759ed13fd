#pragma once

#include "base/Failure.h"

// Says on standard error, in Chinese, why the formats module cannot be loaded: what the programs
// hand SetFormatModuleComplaint (formats/Formats.h), so that they say it as they always have.
void SayFormatModuleProblem(const Failure &problem);
