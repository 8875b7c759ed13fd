#pragma once

#include "BundleLayout.h"
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
    QStringList notes; // where the container's description disagrees with the base
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

// What a split serves, from its manifest's split name: "原生平台 arm64-v8a", "屏幕密度 xxhdpi",
// "语言 zh", "功能模块 camera"; "基础 APK" for none.
QString SplitPurposeText(const ApkManifest &manifest);
