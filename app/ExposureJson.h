#pragma once

#include "apk/PackageExposure.h"

#include <QDate>
#include <QJsonValue>
#include <optional>

// The report's `components`: a list of {kind, name, exported, exportedReason, permission,
// readPermission, writePermission, targetActivity, authorities, intentFilters}; null without
// the manifest's exposure.
QJsonValue ComponentsValue(const std::optional<PackageExposure> &exposure);
// The report's `launcherActivity`: its full name; null without one.
QJsonValue LauncherActivityValue(const std::optional<PackageExposure> &exposure);
// The report's `flags`: {debuggable, testOnly, allowBackup, usesCleartextTraffic,
// cleartextDecidedBy, networkSecurityConfig, extractNativeLibs, hasCode, sharedUserId}.
QJsonValue FlagsValue(const std::optional<PackageExposure> &exposure);
// The report's `findings` as of `today`: a list of {code, severity, message}.
QJsonValue FindingsValue(const std::optional<PackageExposure> &exposure, QDate today);
