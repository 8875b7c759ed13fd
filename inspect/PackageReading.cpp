#include "PackageReading.h"

#include "archive/ZipArchive.h"
#include "bundle/BundleLayout.h"

PackageReader::PackageReader(const SafeFile &file, const QByteArray &baseEntry)
    : archive(std::make_shared<const ZipArchive>(file))
{
    if (baseEntry.isEmpty() ||
        (archive->isOpen() && ReadBundleLayout(archive->entryNames()).kind == BundleKind::Apkm))
        signatures.emplace(file, *archive);
}

QList<ByteSink *> PackageReader::sinks()
{
    QList<ByteSink *> all = {&digests.md5, &digests.sha1, &digests.sha256};
    if (signatures)
        all.append(&*signatures);
    return all;
}

PackageReading PackageReader::finish(bool whole)
{
    PackageReading reading;
    if (whole)
        reading.digests = digests.finish();
    if (signatures)
        reading.signatures = signatures->finish();
    reading.archive = archive;
    return reading;
}
