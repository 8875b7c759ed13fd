#pragma once

#include "formats/ApkManifest.h"

// Reads a binary manifest with libandroidfw's ResXMLTree (in the formats module only; everything
// else calls ReadApkManifest). Nothing when the bytes are not a well-formed binary XML document
// whose root is <manifest>.
std::optional<ApkManifest> ParseApkManifestXml(QByteArrayView xml);
