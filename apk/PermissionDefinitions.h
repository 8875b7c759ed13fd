#pragma once

#include "formats/XmlDocument.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

class ZipArchive;

// One <permission> a manifest declares, as Android's package parser reads it.
struct PermissionDefinition
{
    QString name;
    // Its level after FixedProtectionLevel; normal when the manifest gives none, nothing when
    // it holds what does not read as an integer.
    std::optional<quint32> protectionLevel = 0;
    QString group; // android:permissionGroup as written; empty when none
    // The label and description in Chinese (China) where there is a translation, else as
    // written for no locale; empty when none, or when a reference could not be resolved.
    QString label;
    QString description;
    quint32 labelResource = 0; // the label's resource, when a reference
};

// Every <permission> directly inside the root of a package's manifest, in order, the first of
// each name only, as Android keeps the first definition. A reference is resolved through the
// resource table of `apk`, opened only when one of them needs it, all of them within one
// resolver's budget.
QList<PermissionDefinition> ReadDeclaredPermissions(const XmlDocument &manifest,
                                                    const ZipArchive &apk);

// The platform's permissions by name, from ThePlatformPackage(), read on the first call and kept
// until the end: every package of a report asks the same. Empty when framework-res.apk does
// not read. Safe to call from any thread.
const QHash<QString, PermissionDefinition> &ThePlatformPermissions();

// Where the platform's definitions come from, as the window and the report name it:
// "Android 10 (API 29)".
QString PlatformPermissionsRelease();
