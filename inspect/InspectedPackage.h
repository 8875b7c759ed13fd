#pragma once

#include <QByteArray>

// The last inspection that showed a package, kept for the details window: the file's name as
// the file system has its bytes, everything the tool said about it, and the MD5 that was shown
// (empty when the file gave none), so a file changed since can be noticed. For a bundle the
// tool's output is its base's, and `baseEntry` names that base inside the bundle.
struct InspectedPackage
{
    QByteArray path;
    QByteArray toolOutput;
    QByteArray md5;
    QByteArray baseEntry = {}; // empty for a plain APK
};
