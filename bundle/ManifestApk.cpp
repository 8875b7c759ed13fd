#include "ManifestApk.h"

#include "OpenBundleBase.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

QString ReadManifestApk(const SafeFile &file, const std::function<void(const ZipArchive &)> &read)
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
        return opening.problem.isEmpty() ? QStringLiteral("找不到可读取的基础 APK")
                                         : opening.problem;
    const SafeFile base(opening.base->descriptor());
    read(ZipArchive(base, opening.budget));
    return {};
}
