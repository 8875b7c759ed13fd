#pragma once

#include "DetailsSection.h"
#include "PackageFacts.h"
#include "apk/ApkHoldings.h"
#include "apk/NativeLibraries.h"
#include "apk/PackageIcon.h"
#include "bundle/BundleContents.h"
#include "digest/FileDigests.h"
#include "inspect/InspectedPackage.h"
#include "inspect/PackageReading.h"
#include "signing/SignatureReport.h"

#include <optional>

class ZipArchive;

// Everything the details window shows about the inspected package.
struct PackageDetails
{
    PackageFacts facts;
    // The file is gone, no longer a regular file, changed length while read, or no longer has
    // the MD5 that the inspection showed; then nothing below is known.
    bool fileChanged = true;
    qint64 size = -1;
    FileDigests digests;
    std::optional<PackageIcon> icon;
    std::optional<QString> channel; // the store's channel name, when the package is marked
    SignatureReport signatures;     // the package's own, or a bundle's base's
    // Nothing when an archive could not be opened; a bundle's are its inner APKs'.
    std::optional<QList<NativeLibrary>> nativeLibraries;

    // The package's own manifest, or a bundle's base's; nothing when it does not read.
    std::optional<ApkManifest> manifest;
    // Its version code as Android's package parser reads it (ParsedVersionCode); nothing when the
    // manifest does not read or the parser would refuse the value.
    std::optional<qint64> parsedVersionCode;

    BundleKind kind = BundleKind::Apk;
    // The package, or a bundle's base, declares it cannot be installed without its splits.
    bool requiresSplits = false;
    // The tool's complaints (ToolComplaints), when it printed a package all the same.
    QStringList toolComplaints;
    std::optional<BundleContents> bundle;     // a bundle's inner APKs and OBB files
    std::optional<SignatureReport> container; // an APKM's own JAR signature
    // What the package, or a bundle's base, holds: its code, frameworks and sizes by category.
    // Nothing when that archive could not be read.
    std::optional<ApkHoldings> holdings;
    // The whole file through gzip at level 9 (EstimateDownloadSize), computed only when asked
    // for: pending while it is; once `estimated`, nothing when the file did not read whole.
    bool estimatePending = false;
    bool estimated = false;
    std::optional<qint64> downloadEstimate;

    // While the details window is still reading, the parts not known yet, shown as pending:
    // the read of the file (digests, the package's or an APKM container's signatures)
    // and what its archive holds (icon, channel, native libraries, the manifest's facts, a
    // bundle's inner APKs and so its verdict).
    bool readPending = false;
    bool contentsPending = false;
};

// What the details window shows for a part it has not read yet, as its progress bar says.
QString PendingText();
// What it shows for a part of a file that is no longer the one inspected.
QString FileChangedText();

// Parses the inspection's tool output and reads the inspected file, still open, once for its
// digests and signatures (or takes what the inspection's own read gave), then its icon,
// channel and native libraries. For a bundle (`inspected.baseEntry` set) the digests are the
// bundle file's, every inner APK is read into memory for its manifest, signatures and native
// libraries, and the icon and channel are the base's. Nothing of the file is known
// (`fileChanged`) unless its MD5 is the one shown and it is still as it was opened once all is
// read.
PackageDetails LoadPackageDetails(const InspectedPackage &inspected);

// The pieces LoadPackageDetails puts together, for a window that loads them on threads of its
// own (DetailsLoading):
// what the tool printed, every part of the file still pending;
PackageDetails ToolDetails(const InspectedPackage &inspected);
// the archive's readers (icon, channel, native libraries, the manifest's facts; a bundle's
// contents) over `archive`, the inspected file's, filling in `details`;
void LoadContents(PackageDetails &details, const InspectedPackage &inspected,
                  const ZipArchive &archive);
// the read's results, once they are the inspected file's (its MD5 the one shown); false
// otherwise;
bool TakeReading(PackageDetails &details, const InspectedPackage &inspected,
                 const PackageReading &reading);
// when the file is not the one inspected after all, only what the tool printed;
PackageDetails UnknownFile(const PackageDetails &details);
// and once all of them are in, `details` only while the file is still as it was opened.
PackageDetails AsStillOpened(const PackageDetails &details, const InspectedPackage &inspected);

// The signatures of a package the inspection refused, when its file is a readable archive: its
// own, or a bundle's inner APKs' (the base the one the tool refused, or none found) and an
// APKM's container's. Nothing when the file is no archive or changed meanwhile; nothing but the
// signatures and a bundle's contents is read.
std::optional<PackageDetails> LoadRefusedSignatures(const InspectedPackage &inspected);

// The verdict over everything signed in the package: its own signatures, or a bundle's over all
// its APKs, failed too when an APKM's own JAR signature fails.
SignatureVerdict PackageVerdict(const PackageDetails &details);
// "通过", "未签名" or "失败：" with the first reason, for that verdict.
QString PackageVerdictText(const PackageDetails &details);
// The failure that text words, for the report's code; no failure unless it names one.
Failure PackageVerdictFailure(const PackageDetails &details);

// The rows the window shows for `details`, in order, as given: DetailsSections() escapes what
// came from the package first.
DetailsSection PackageSection(const PackageDetails &details);
// A bundle's "拆分包" section: one row per inner APK, then its OBB files and where the
// container's description disagrees with the base. Nothing for a plain APK.
std::optional<DetailsSection> SplitSection(const PackageDetails &details);
// The "签名" section: the verdicts, then each signer's certificate; for a bundle, first the
// verdict over all its APKs and one line for each, and an APKM's "容器签名".
DetailsSection SignatureSection(const PackageDetails &details);
// The "原生库" section: one row per library, then whether they load with 16 KB pages.
DetailsSection NativeLibrarySection(const PackageDetails &details);
// Whether the 64-bit native libraries of a package that was read load with 16 KB pages, as
// that section's last row says it; nothing when its libraries could not be read.
std::optional<PageSizeSummary> PageSizeReadiness(const PackageDetails &details);
QString PageSizeReadinessText(const std::optional<PageSizeSummary> &readiness);
// Every section, in the order the window and the report show them, every text taken from the
// package escaped (ShownDetails).
QList<DetailsSection> DetailsSections(const PackageDetails &details);
