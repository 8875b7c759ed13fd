#pragma once

#include "DetailsSection.h"

#include <QDate>

struct PackageDetails;

// The sections of what the package, or a bundle's base, exposes, as its manifest declares; each
// a single row while its archive is being read, once the file changed, or when the manifest
// could not be read.
// "组件": the launcher activity, then each kind's components a line each (full name, exported or
// not and why, the permission, the intent filters); exported ones without a permission, and
// those Android 12 refuses, stand out.
DetailsSection ComponentSection(const PackageDetails &details);
// "安全标志": the <application> flags with their effective values.
DetailsSection SecurityFlagSection(const PackageDetails &details);
// "发现": the findings as of `today`, the high ones standing out.
DetailsSection FindingSection(const PackageDetails &details, QDate today);
