#pragma once

#include "digest/Digest.h"

#include <QList>
#include <QMap>

class SafeFile;
struct PackageLayout;

// The 1 MiB chunked digests that signature schemes v2 and v3 sign: over the entries before
// the signing block, the central directory, and the end record with its directory offset
// pointing at the block. All requested algorithms are computed in one pass over the file, in
// bounded memory. Empty when the file cannot be read whole.
QMap<DigestAlgorithm, QByteArray> ComputeContentDigests(const SafeFile &file,
                                                        const PackageLayout &layout,
                                                        const QList<DigestAlgorithm> &algorithms);
