#pragma once

#include "archive/ZipEndRecord.h"
#include "base/Failure.h"

#include <QByteArray>
#include <QString>

class SafeFile;

// The parts of a package that signature scheme v2 and v3 digest and the block that signs them.
struct PackageLayout
{
    Failure error;
    qint64 fileSize = 0;
    EndRecord end;
    QByteArray endBytes; // the end record and its comment
    // Where the signing block starts, or the central directory's offset when there is none.
    qint64 blockOffset = 0;
    QByteArray block; // empty when the package has no signing block
};

// Cuts out the signing block before the central directory that `end`, the end record the
// package's archive was opened by, points at.
PackageLayout ReadPackageLayout(const SafeFile &file, const EndRecord &end);
