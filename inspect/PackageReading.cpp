#include "PackageReading.h"

#include "InspectedPackage.h"
#include "archive/ZipArchive.h"

PackageReader::PackageReader(const InspectedPackage &inspected)
    : archive(std::make_shared<const ZipArchive>(inspected.file->file()))
{
    if (inspected.baseEntry.isEmpty() ||
        (archive->isOpen() && inspected.layout.kind == BundleKind::Apkm))
        signatures.emplace(inspected.file->file(), *archive);
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
