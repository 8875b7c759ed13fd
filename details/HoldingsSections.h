#pragma once

#include "DetailsSection.h"

#include <optional>

struct PackageDetails;

// A section `title` with one row `label` for what is not known of the holdings (pending, the file
// changed, unreadable); nothing when they are known.
std::optional<DetailsSection> UnknownHoldings(const QString &title, const QString &label,
                                              const PackageDetails &details);

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
