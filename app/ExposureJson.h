#pragma once

#include "apk/PackageExposure.h"

#include <QDate>
#include <QJsonValue>
#include <optional>

// The report's `components`: {activities, services, receivers, providers}, each a list of
// {name, exported, exportedReason, permission, intentFilters}, an alias (among the activities)
// with its targetActivity, a provider with its authorities, readPermission and writePermission;
// null without the manifest's exposure.
QJsonValue ComponentsValue(const std::optional<PackageExposure> &exposure);
// The report's `launcherActivity`: its full name; null without one.
QJsonValue LauncherActivityValue(const std::optional<PackageExposure> &exposure);
// The report's `flags`: {debuggable, testOnly, allowBackup, usesCleartextTraffic,
// cleartextDecidedBy, networkSecurityConfig, extractNativeLibs, hasCode, sharedUserId}.
QJsonValue FlagsValue(const std::optional<PackageExposure> &exposure);
// The report's `findings` as of `today`: a list of {code, severity, text}.
QJsonValue FindingsValue(const std::optional<PackageExposure> &exposure, QDate today);
