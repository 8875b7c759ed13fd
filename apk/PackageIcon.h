#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

class ZipArchive;

// An icon the badging tool names on an `application-icon-N` line: the density N and the entry's
// path inside the package.
struct IconEntry
{
    int density = 0;
    QByteArray path;
};

// An icon's entry path inside the package and its encoded bytes.
struct PackageIcon
{
    QByteArray path;
    QByteArray bytes;
};

// "png", "jpeg" or "webp" when `bytes` start as an image of that format does; empty otherwise.
const char *BitmapFormat(const QByteArray &bytes);

// The icon of the highest density among `entries` whose bytes are a PNG, WebP or JPEG image by
// their signature; vector and adaptive icons (".xml"), missing, oversized or unreadable entries
// are passed over. Nothing when none is left.
std::optional<PackageIcon> ReadBitmapIcon(const ZipArchive &archive, QList<IconEntry> entries);
