#pragma once

#include "bundle/BundleContents.h"

#include <QString>

// "APK", "APK 集 (bundletool)", "拆分 APK 包", "XAPK", "APKM".
QString BundleKindText(BundleKind kind);

// What an inner APK serves, from its manifest's split name: "原生平台 arm64-v8a",
// "屏幕密度 xxhdpi（功能模块 camera）", "语言 zh", "功能模块 camera"; "基础 APK" for none.
QString SplitPurposeText(const ApkManifest &manifest);
