#pragma once

#include <QtGlobal>
#include <optional>

struct ApkManifest;
class ZipArchive;

// Android's version code as its package parser reads the manifest, what an installed package
// keeps: versionCodeMajor in the upper 32 bits, a value that refers to a resource read through
// the resource table of the APK whose entries `apk` holds. Nothing when the parser would refuse
// it: another kind of value, or a resource that holds no integer (or one per device).
std::optional<qint64> ParsedVersionCode(const ApkManifest &manifest, const ZipArchive &apk);
