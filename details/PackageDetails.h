#pragma once

#include "DetailsSection.h"
#include "PackageFacts.h"
#include "PackageIcon.h"
#include "digest/FileDigests.h"
#include "inspect/InspectedPackage.h"
#include "native/NativeLibraries.h"
#include "signing/SignatureReport.h"

#include <optional>

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
    SignatureReport signatures;
    // Nothing when the archive could not be opened.
    std::optional<QList<NativeLibrary>> nativeLibraries;
};

// Parses the inspection's tool output and reads the file once for its digests, then its icon,
// its channel, its signatures and its native libraries, all from the one open file.
PackageDetails LoadPackageDetails(const InspectedPackage &inspected);

// The rows the window shows for `details`, in order.
DetailsSection PackageSection(const PackageDetails &details);
// The "签名" section: the verdicts, then each signer's certificate.
DetailsSection SignatureSection(const PackageDetails &details);
// The "原生库" section: one row per library, then whether they load with 16 KB pages.
DetailsSection NativeLibrarySection(const PackageDetails &details);
// Every section, in the order the window and the report show them.
QList<DetailsSection> DetailsSections(const PackageDetails &details);
