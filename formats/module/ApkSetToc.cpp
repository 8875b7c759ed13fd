#include "formats/ApkSetToc.h"

#include "formats/module/ApkSetToc.pb.h"

std::optional<ApkSetToc> ParseApkSetToc(const QByteArray &bytes)
{
    pelmora::apkset::BuildApksResult toc;
    if (!toc.ParseFromArray(bytes.constData(), int(bytes.size())))
        return std::nullopt;
    ApkSetToc read{QString::fromStdString(toc.package_name()), {}};
    for (const auto &variant : toc.variant())
        for (const auto &set : variant.apk_set())
            for (const auto &apk : set.apk_description())
                if (read.baseEntry.isEmpty() && set.module_metadata().name() == "base" &&
                    apk.split_apk_metadata().is_master_split())
                    read.baseEntry = QByteArray::fromStdString(apk.path());
    return read;
}
