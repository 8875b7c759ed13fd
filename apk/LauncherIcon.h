#pragma once

#include "PackageIcon.h"

#include <optional>

class ZipArchive;

// The launcher icon of the APK whose entries `apk` holds, found from its manifest's
// android:icon through its resource table (OpenResourceTable), among all configurations of that
// resource with aliases followed (ResourceResolver; past its caps there is no icon): the
// highest-density PNG, WebP or JPEG. When there is none and the icon is an adaptive
// icon, the icon composed from its background and foreground layers where those are bitmaps or
// colours, cut to a rounded square, as a PNG whose path is the adaptive icon's; every
// configuration tried decodes from one PixelBudget. Nothing when neither can be had (vector
// drawables are not drawn) or a cap is reached. Reads only; for a bundle, pass its base.
// `namedByTool`, the icons the badging tool printed, are tried first: loading a large resource
// table costs tens of milliseconds, and the tool's bitmaps are the table's for most packages.
std::optional<PackageIcon> ReadLauncherIcon(const ZipArchive &apk,
                                            const QList<IconEntry> &namedByTool = {});
