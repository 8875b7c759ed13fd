#pragma once

#include "bundle/BundleContents.h"

#include <QString>

// Verified when every inner APK verifies and is signed by the base's signers, as Android
// requires at install; Unsigned when none is signed; Failed otherwise.
SignatureVerdict BundleVerdict(const BundleContents &contents);
// "通过", "未签名" or "失败：" naming the first APK that fails.
QString BundleVerdictText(const BundleContents &contents);
// Why the bundle's verdict fails: no base, or why the first APK that cannot be installed with the
// base cannot (its signature's deciding failure, when that is why); no failure unless it fails.
Failure BundleVerdictFailure(const BundleContents &contents);
// One line per inner APK: "name: 通过", "name: 失败：…".
QString InnerApkVerdictsText(const BundleContents &contents);
