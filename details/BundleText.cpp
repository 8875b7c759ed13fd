#include "BundleText.h"

QString BundleKindText(BundleKind kind)
{
    switch (kind) {
    case BundleKind::Apk:
        return QStringLiteral("APK");
    case BundleKind::ApkSet:
        return QStringLiteral("APK 集 (bundletool)");
    case BundleKind::SplitApks:
        return QStringLiteral("拆分 APK 包");
    case BundleKind::Xapk:
        return QStringLiteral("XAPK");
    case BundleKind::Apkm:
        return QStringLiteral("APKM");
    }
    return {};
}

QString SplitPurposeText(const ApkManifest &manifest)
{
    const SplitPurpose purpose = ReadSplitPurpose(manifest);
    const QString feature = purpose.feature.isEmpty()
                                ? QString()
                                : QStringLiteral("（功能模块 %1）").arg(purpose.feature);
    switch (purpose.kind) {
    case SplitKind::Base:
        return QStringLiteral("基础 APK");
    case SplitKind::Feature:
        return QStringLiteral("功能模块 ") + purpose.qualifier;
    case SplitKind::Abi:
        return QStringLiteral("原生平台 ") + purpose.qualifier + feature;
    case SplitKind::Density:
        return QStringLiteral("屏幕密度 ") + purpose.qualifier + feature;
    case SplitKind::Language:
        return QStringLiteral("语言 ") + purpose.qualifier + feature;
    case SplitKind::Other:
        break;
    }
    return QStringLiteral("配置 ") + purpose.qualifier + feature;
}
