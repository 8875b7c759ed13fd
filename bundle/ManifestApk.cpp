#include "ManifestApk.h"

#include "OpenBundleBase.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

Failure ReadManifestApk(const SafeFile &file, const std::function<void(const ZipArchive &)> &read)
{
    const BundleOpening opening = OpenBundleBase(file);
    if (opening.outcome == BundleOutcome::NotBundle) {
        const ZipArchive archive(file);
        if (!archive.isOpen())
            return archive.problem();
        read(archive);
        return {};
    }
    if (opening.outcome != BundleOutcome::Bundle || !opening.base)
        return opening.problem.failed() ? opening.problem
                                        : Failure(FailureCode::BundleBaseUnreadable);
    const SafeFile base(opening.base->descriptor());
    read(ZipArchive(base, opening.budget));
    return {};
}
