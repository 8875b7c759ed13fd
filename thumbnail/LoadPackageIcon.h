#pragma once

#include "details/PackageIcon.h"

#include <QByteArray>
#include <optional>

// The icon that the details window shows for the package at `path` (the name's bytes as the
// file system has them): the badging tool beside the program names the icon entries, and the
// best bitmap among them is read from the package. Nothing when the tool fails or there is no
// bitmap icon. Needs the application object, through which the tool is found.
std::optional<PackageIcon> LoadPackageIcon(const QByteArray &path);
