#include "ContentsListing.h"

#include "DexFiles.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"
#include "signing/PackageLayout.h"

#include <QSet>

namespace {

// The JAR signature's own files, as Android's verifier finds them: straight in META-INF/.
bool JarSignatureFile(const QByteArray &name)
{
    if (!name.startsWith("META-INF/") || name.count('/') != 1)
        return false;
    return name == "META-INF/MANIFEST.MF" || name.endsWith(".SF") || name.endsWith(".RSA") ||
           name.endsWith(".DSA") || name.endsWith(".EC");
}

SizeCategory CategoryOf(const QByteArray &name, const QSet<QByteArray> &code)
{
    if (code.contains(name))
        return SizeCategory::Code;
    if (name == "resources.arsc")
        return SizeCategory::ResourcesTable;
    if (name.startsWith("res/"))
        return SizeCategory::Res;
    if (name.startsWith("lib/"))
        return SizeCategory::Native;
    if (name.startsWith("assets/"))
        return SizeCategory::Assets;
    if (JarSignatureFile(name))
        return SizeCategory::Signature;
    return SizeCategory::Other;
}

void Add(StoredAndUncompressed &sum, qint64 stored, qint64 uncompressed)
{
    sum.stored += stored;
    sum.uncompressed += uncompressed;
}

} // namespace

ContentsListing ListContents(const SafeFile &file, const ZipArchive &archive)
{
    ContentsListing listing;
    listing.fileSize = file.size();
    const QList<QByteArray> dexNames = LoadedDexNames(archive);
    const QSet<QByteArray> code(dexNames.cbegin(), dexNames.cend());
    const QList<QByteArray> names = archive.entryNames();
    listing.entries.reserve(names.size());
    qint64 entryData = 0;
    for (const QByteArray &name : names) {
        const ZipDirectoryEntry &record = *archive.record(name);
        const SizeCategory category = CategoryOf(name, code);
        listing.entries.append(
            {name, record.method, record.compressedSize, record.uncompressedSize, category});
        Add(listing.byCategory[int(category)], record.compressedSize, record.uncompressedSize);
        entryData += record.compressedSize;
    }
    const PackageLayout layout = ReadPackageLayout(file, archive.endRecord());
    if (!layout.error.failed() && !layout.block.isEmpty())
        listing.signingBlock = layout.block.size();
    listing.structure = listing.fileSize - entryData - listing.signingBlock;
    Add(listing.byCategory[int(SizeCategory::Signature)], listing.signingBlock,
        listing.signingBlock);
    Add(listing.byCategory[int(SizeCategory::Other)], listing.structure, listing.structure);
    return listing;
}

QString CategoryKey(SizeCategory category)
{
    switch (category) {
    case SizeCategory::Code:
        return QStringLiteral("code");
    case SizeCategory::ResourcesTable:
        return QStringLiteral("resourcesTable");
    case SizeCategory::Res:
        return QStringLiteral("res");
    case SizeCategory::Native:
        return QStringLiteral("native");
    case SizeCategory::Assets:
        return QStringLiteral("assets");
    case SizeCategory::Signature:
        return QStringLiteral("signature");
    case SizeCategory::Other:
        break;
    }
    return QStringLiteral("other");
}
