#include "PackageIcon.h"

#include "archive/ZipArchive.h"

#include <QSet>
#include <algorithm>

namespace {

// Icons are small; this only keeps a hostile entry from taking the memory.
constexpr qint64 MaxIconBytes = 8 << 20;

// The tool prints anydpi as 65534 and nodpi as 65535: no density at all, so any real density
// is preferred to them.
int Rank(int density)
{
    return density >= 65534 ? density - 65536 : density;
}

} // namespace

const char *BitmapFormat(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return "webp";
    return "";
}

std::optional<PackageIcon> ReadBitmapIcon(const ZipArchive &archive, QList<IconEntry> entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const IconEntry &a, const IconEntry &b) {
        return Rank(a.density) > Rank(b.density);
    });
    QSet<QByteArray> tried;
    for (const IconEntry &entry : std::as_const(entries)) {
        if (entry.path.endsWith(".xml") || tried.contains(entry.path))
            continue;
        tried.insert(entry.path);
        std::optional<QByteArray> bytes = archive.readEntry(entry.path, MaxIconBytes);
        if (bytes && *BitmapFormat(*bytes))
            return PackageIcon{entry.path, std::move(*bytes)};
    }
    return std::nullopt;
}
