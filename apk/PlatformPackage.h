#pragma once

#include "base/Failure.h"
#include "formats/ResourceTable.h"
#include "formats/XmlDocument.h"

#include <QString>
#include <memory>
#include <optional>

// Android's own framework package as Debian installs it (android-framework-res, Android 10,
// API 29): the resources every package refers to as @android:…, and the manifest that declares
// the platform's permissions.
struct PlatformPackage
{
    static constexpr char Path[] = "/usr/share/android-framework-res/framework-res.apk";
    static constexpr int ApiLevel = 29;
    static constexpr char Release[] = "10"; // the Android version of that API level

    std::shared_ptr<const void> mapping;        // the file's pages the table may point into
    std::unique_ptr<const ResourceTable> table; // nothing when it does not read
    std::optional<XmlDocument> manifest;        // nothing when it does not read
    Failure problem;                            // why either is missing; none when both read
};

// The framework package, read on the first call and kept until the end: every package of a
// report refers to the same one. Safe to call from any thread.
const PlatformPackage &ThePlatformPackage();
