#include "BundleLayout.h"

BundleLayout ReadBundleLayout(const QList<QByteArray> &entries)
{
    BundleLayout layout;
    if (entries.contains("AndroidManifest.xml"))
        return layout;
    bool bundletoolFolders = false;
    for (const QByteArray &name : entries) {
        if (name.endsWith(".apk")) {
            layout.apks.append(name);
            bundletoolFolders =
                bundletoolFolders || name.startsWith("splits/") || name.startsWith("standalones/");
        } else if (name.startsWith("Android/obb/") && name.endsWith(".obb")) {
            layout.obbs.append(name);
        }
    }
    // The first description found decides; bundletool's index outranks the others.
    const QList<std::pair<QByteArray, BundleKind>> descriptions = {
        {"toc.pb", BundleKind::ApkSet},
        {"info.json", BundleKind::Apkm},
        {"manifest.json", BundleKind::Xapk},
        {"meta.sai_v2.json", BundleKind::SplitApks},
        {"meta.sai_v1.json", BundleKind::SplitApks},
    };
    layout.kind = bundletoolFolders ? BundleKind::ApkSet : BundleKind::SplitApks;
    for (const auto &[name, kind] : descriptions) {
        if (entries.contains(name)) {
            layout.metadata = name;
            layout.kind = kind;
            break;
        }
    }
    return layout;
}
