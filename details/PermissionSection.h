#pragma once

#include "DetailsSection.h"

#include <QString>
#include <optional>

struct PackageDetails;

// A protection level in Chinese: the base level (普通, 危险, 签名, …), then Android's flags in
// its own words ("签名（privileged|development）"); "未知" when not known.
QString ProtectionLevelText(std::optional<quint32> level);

// "权限": each permission the package, or a bundle's base, asks for with its level and label,
// the dangerous ones as warnings; how many are dangerous; the permissions it declares; and
// which platform the levels come from. While the archive is still read, or when its manifest
// cannot be, the names the tool printed. Takes `details` as read and escapes what it shows
// (EscapeControls), so that the tool's names, escaped by ShownDetails, are not compared with the
// manifest's.
DetailsSection PermissionSection(const PackageDetails &details);
