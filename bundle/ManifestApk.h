#pragma once

#include "base/Failure.h"

#include <functional>

class SafeFile;
class ZipArchive;

// Hands `read` the archive of the APK whose manifest a package shows: the package in `file`
// itself, or a bundle's base, found and copied into memory as OpenBundleBase finds it. Returns
// why there is none (the file is no archive, or a bundle without a readable base); no failure
// once `read` has been called.
Failure ReadManifestApk(const SafeFile &file, const std::function<void(const ZipArchive &)> &read);
