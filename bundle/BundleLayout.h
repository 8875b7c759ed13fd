#pragma once

#include <QByteArray>
#include <QList>

class ZipArchive;

// The kinds of file Pelmora opens: a plain APK, or a ZIP of APKs in one of four layouts.
enum class BundleKind
{
    Apk,       // AndroidManifest.xml at the root
    ApkSet,    // bundletool's: toc.pb, splits/, standalones/
    SplitApks, // flat .apks: base.apk, split_*.apk, meta.sai_v1/v2.json
    Xapk,      // manifest.json, <package>.apk or base.apk, config.*.apk, Android/obb/
    Apkm,      // info.json, base.apk, split_config.*.apk, the container JAR-signed
};

// What the entry names of an archive say it is.
struct BundleLayout
{
    BundleKind kind = BundleKind::Apk;
    QList<QByteArray> apks; // every entry ending in ".apk", in the archive's order
    QList<QByteArray> obbs; // Android/obb/<package>/*.obb
    QByteArray metadata;    // the entry with the container's own description, when present
};

// Recognises the layout from the entry names alone. A plain APK has no inner APKs; a ZIP with
// neither a manifest at its root nor any APK is reported as a split-APK package without APKs.
BundleLayout ReadBundleLayout(const QList<QByteArray> &entries);
