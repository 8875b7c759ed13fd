#pragma once

#include "BadgingParser.h"

#include <QByteArray>
#include <functional>
#include <memory>

class SafeFile;
struct InflateBudget;

// The badging tool here (Android 10's) refuses a resource table as Android 14 and later write it
// when a type chunk holds few entries: "ERROR: dump failed because the resource table is
// invalid/corrupt.", and no package line. Such a package is still taken as good when that is all
// the tool said, its manifest names a valid package, its resource table reads with Pelmora's
// own readers and its signature verifies in full (`verifiesInFull`, asked last, as it is the
// costly check); then `info` gets the manifest's package name and version name (a plain string,
// else read through the table). `apk` is the APK the tool read: the file, or a bundle's base in
// memory, whose reads draw on `budget` (null: its own).
bool IdentityFromManifest(const SafeFile &apk, const std::shared_ptr<InflateBudget> &budget,
                          const QByteArray &toolOutput, const std::function<bool()> &verifiesInFull,
                          BadgingInfo &info);
