#pragma once

#include <QString>
#include <functional>

class SafeFile;
class ZipArchive;

// Hands `read` the archive of the APK whose manifest a package shows: the package in `file`
// itself, or a bundle's base, found and copied into memory as OpenBundleBase finds it. Returns
// why there is none, in Chinese (the file is no archive, or a bundle without a readable base);
// empty once `read` has been called.
QString ReadManifestApk(const SafeFile &file, const std::function<void(const ZipArchive &)> &read);
