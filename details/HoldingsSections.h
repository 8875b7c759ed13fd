#pragma once

#include "DetailsSection.h"

struct PackageDetails;

// The sections of what the package, or a bundle's base, holds, each a single row saying so
// while its archive is still being read, once the file changed, or when it could not be read.
// "代码": one row per DEX file Android loads, its version and counts, marked when it nears the
// method limit.
DetailsSection CodeSection(const PackageDetails &details);
// "框架": the frameworks it is built with.
DetailsSection FrameworkSection(const PackageDetails &details);
// "大小": stored and uncompressed bytes by category, then the download estimate when it was
// asked for.
DetailsSection SizeSection(const PackageDetails &details);
