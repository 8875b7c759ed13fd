#pragma once

#include "XmlDocument.h"
#include "base/Failure.h"

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
    // versionCode and versionCodeMajor (Android's upper 32 bits of the version code) as Android's
    // package parser reads them: in decimal when written as integers, else empty; the resource
    // each refers to, for the resource table to resolve.
    QString versionCode;
    quint32 versionCodeResource = 0;
    QString versionCodeMajor;
    quint32 versionCodeMajorResource = 0;
    // One of them holds another kind of value (a string, a float), for which the parser refuses
    // the package.
    bool versionCodeUnreadable = false;
    // The version code Android holds an update to before it parses the package: both attributes
    // found by name in the Android namespace, whatever their resource ids, an integer as written
    // and anything else 0; versionCodeMajor in the upper 32 bits.
    qint64 updateCheckVersionCode = 0;
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
    // empty when the manifest does not say, or refers to a resource.
    QString minSdk;
    QString targetSdk;
    // Its targetSdkVersion holds neither (a reference, which Android resolves through the
    // resource table and apksig does not), so the level it targets is not known.
    bool targetSdkUnknown = false;
    // The lowest API level the package installs on, as apksig reckons it: the highest
    // minSdkVersion of all <uses-sdk> elements, a preview's codename counted as the level before
    // its release, 1 when none says. Nothing when one holds what apksig cannot read (a
    // reference, a codename it cannot place), which apksigner refuses to judge.
    std::optional<int> minSdkLevel = 1;
    // Nothing when it holds no integer (a reference, which Android resolves and apksig does not).
    std::optional<int> targetSandboxVersion = 1;
    QString sharedUserId; // empty when absent or not a plain string
};

// Android's long version code from its two halves (PackageInfo.composeLongVersionCode).
constexpr qint64 ComposeVersionCode(qint32 major, qint32 minor)
{
    return qint64(quint64(quint32(major)) << 32 | quint32(minor));
}

class ZipArchive;

// A manifest is tens or hundreds of kilobytes (framework-res.apk's, 217 KiB); this keeps a
// hostile one from taking the memory and the time of every reader.
constexpr qint64 MaxManifestBytes = 8 << 20;

// Reads a binary manifest through libandroidfw, in the formats module (Formats.h). Nothing
// when the bytes are not a well-formed binary XML document whose root is <manifest>, or when the
// module cannot be loaded.
std::optional<ApkManifest> ReadApkManifest(QByteArrayView xml);

// What the AndroidManifest.xml entry of an APK gives: its manifest, or why there is none (past
// its size cap, say). Neither when the archive holds no such entry.
struct ManifestReading
{
    std::optional<ApkManifest> manifest;
    Failure problem;
};
ManifestReading ReadManifestEntry(const ZipArchive &apk);
// The manifest of the APK whose entries `apk` holds; nothing when it has no readable one.
std::optional<ApkManifest> ReadApkManifest(const ZipArchive &apk);
// The same manifest read whole, every element and attribute as written (XmlDocument.h), within
// the same caps; nothing when it has no readable one.
std::optional<XmlDocument> ReadManifestDocument(const ZipArchive &apk);
