#pragma once

#include "PackageFacts.h"

struct ApkManifest;
class ZipArchive;

// Fills in, from the package's own manifest, each fact the badging tool printed nothing of: the
// package name, version name and code, the SDK levels and the label, and the permissions it left
// out. A value that refers to a resource is read through the package's resource table, or left
// out. The tool prints nothing of a package whose resource table it cannot read, and stops at
// the first attribute it cannot resolve.
void CompleteFromManifest(PackageFacts &facts, const ApkManifest &manifest, const ZipArchive &apk);
