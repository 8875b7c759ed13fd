#pragma once

#include "apk/PackageIcon.h"

#include <QByteArray>
#include <optional>

// The icon that the details window shows for the package at `path` (the name's bytes as the
// file system has them): the best bitmap among those the badging tool beside the program names,
// else the launcher icon found through the manifest and the resource table, an adaptive one
// composed from its layers. For a bundle, its base's. Nothing when there is none, or when the
// tool ran or wrote past its limits (DefaultToolTimeout, MaxToolOutput). Needs the application
// object, through which the tool is found.
std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path);
