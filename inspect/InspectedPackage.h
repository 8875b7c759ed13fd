#pragma once

#include "PackageFile.h"
#include "bundle/BundleLayout.h"

#include <QByteArray>
#include <memory>

struct PackageReading;

// What an inspection read, kept for whatever reads the package next (the details window, the
// report): the file's name as the file system has its bytes, the file itself still open,
// everything the tool said about it, and the MD5 that was shown (empty when the file gave none).
// Later reads go through that open file, so they read the very file the tool read, and compare
// it with how it was opened to notice a change. For a bundle the tool's output is its base's, and
// `baseEntry` names that base inside the bundle. An inspection made for a report also leaves what
// its one read of the file gave beside the MD5 (`reading`), so that nothing reads it again.
struct InspectedPackage
{
    QByteArray path;
    QByteArray toolOutput;
    QByteArray md5;
    QByteArray baseEntry; // empty for a plain APK
    // What the entries of a file named as a bundle said it is, worked out once when it was
    // opened; a plain APK's, or one named so, is of kind Apk.
    BundleLayout layout = {};
    std::shared_ptr<const PackageFile> file;
    std::shared_ptr<const PackageReading> reading = nullptr;
};
