#pragma once

#include "BundleLayout.h"
#include "base/Failure.h"
#include "formats/ApkManifest.h"
#include "signing/SignatureReport.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>
#include <optional>

class SafeFile;
class ZipArchive;

// One APK inside a bundle, as read from memory.
struct InnerApkFacts
{
    QByteArray entry;
    qint64 size = -1;                    // uncompressed bytes; -1 when it could not be read
    bool overLimit = false;              // not read: the bundle had inflated all it may
    std::optional<ApkManifest> manifest; // nothing when unreadable
    SignatureReport signatures;
};

struct ObbFacts
{
    QByteArray entry;
    qint64 size = -1;
};

// Everything inside a bundle that the details window shows.
struct BundleContents
{
    BundleKind kind = BundleKind::Apk;
    QByteArray baseEntry;
    QList<InnerApkFacts> apks; // the base first, then the others in the archive's order
    QList<ObbFacts> obbs;
    QList<Failure> notes; // where the container's description disagrees with the base
};

// Reads every inner APK of `container`, two at a time (ReadInTurns), for its manifest and its
// signatures; `file` is the container's own file, `layout` what its entries say and `baseEntry`
// the base the inspection found. An APK the
// container stores as it is is read where it lies, its checksum checked on another thread
// meanwhile; any other is copied into memory first. Every inner APK inflates from the
// container's budget, in the APKs' order as if read one after another, so that the whole bundle
// inflates no more than its container may; once that is spent, the APKs left are not read at
// all. While each is open and has checked out, `onEachApk` is handed its entry name, file and
// archive (for the icon, the native libraries) so that it is read only once; it is called for
// one APK at a time, in their order, on either thread.
BundleContents ReadBundleContents(
    const SafeFile &file, const ZipArchive &container, const BundleLayout &layout,
    const QByteArray &baseEntry,
    const std::function<void(const QByteArray &, const SafeFile &, const ZipArchive &)> &onEachApk);

// What an inner APK serves, as its manifest's split name says.
enum class SplitKind
{
    Base,     // no split name
    Feature,  // a feature module
    Abi,      // a native platform's configuration split
    Density,  // a screen density's
    Language, // a language's
    Other,    // any other configuration's
};

struct SplitPurpose
{
    SplitKind kind = SplitKind::Base;
    // A feature's split name; the ABI as Android names it ("arm64-v8a"); the density, language
    // or other configuration qualifier ("xxhdpi", "zh"). Empty for the base.
    QString qualifier;
    QString feature; // the feature module a configuration split is for; empty for the base's
};

SplitPurpose ReadSplitPurpose(const ApkManifest &manifest);
