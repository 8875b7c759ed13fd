#pragma once

#include "apk/ApkHoldings.h"
#include "formats/ApkManifest.h"

#include <QJsonObject>
#include <optional>

// The report's permission keys: `permissionDetails` ([{name, maxSdkVersion, protectionLevel,
// definedBy, label, description}], each permission asked for with its definition),
// `declaredPermissions` ([{name, protectionLevel, group, label}]) and `permissionLevelsFrom`
// ("Android 10 (API 29)"), each null when the manifest does not read (and the last when the
// platform's package does not).
// `toolNamed` are the permissions the badging tool listed, which add those Android implies.
QJsonObject PermissionsObject(const std::optional<ApkManifest> &manifest,
                              const QStringList &toolNamed,
                              const std::optional<ApkHoldings> &holdings);
