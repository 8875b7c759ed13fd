#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What an APK's own AndroidManifest.xml says about where it belongs in an app.
struct ApkManifest
{
    QString packageName;
    QString versionName; // empty unless a plain string (a reference needs the resource table)
    quint32 versionNameResource = 0; // the versionName, when a resource reference
    QString versionCode;             // in decimal; empty when not a number
    QString versionCodeMajor;        // the same, Android's upper 32 bits of the version code
    // The split's name ("config.arm64_v8a", "feature", "feature.config.xxhdpi"); empty for a base.
    QString split;
    bool isFeatureSplit = false;
    // Cannot be installed alone: android:requiredSplitTypes, or the meta-data
    // com.android.vending.splits.required set to true.
    bool requiresSplits = false;
    quint32 iconResource = 0;  // the application's android:icon, when a resource reference
    QString label;             // the application's android:label, when a plain string
    quint32 labelResource = 0; // the same, when a resource reference
    // A <uses-permission> or <uses-permission-sdk-23> with its name written as it is (Android
    // takes none that refers to a resource), and its maxSdkVersion as written.
    struct Permission
    {
        QString name;
        QString maxSdk;
    };
    QList<Permission> permissions; // in the manifest's order
    // The first <uses-sdk>'s levels as written: a number in decimal, or a preview's codename;
    // empty when the manifest does not say.
    QString minSdk;
    QString targetSdk;
    // The lowest API level the package installs on, as Android and its signing tools reckon it:
    // the highest minSdkVersion of all <uses-sdk> elements, a preview's codename counted as the
    // level before its release, 1 when none says.
    int minSdkLevel = 1;
    int targetSandboxVersion = 1;
    QString sharedUserId; // empty when absent or not a plain string
};

class ZipArchive;

// Reads a binary manifest through libandroidfw, in the formats module (FormatModule.h). Nothing
// when the bytes are not a well-formed binary XML document whose root is <manifest>, or when the
// module cannot be loaded.
std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml);
// The manifest of the APK whose entries `apk` holds; nothing when it has no readable one.
std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk);
