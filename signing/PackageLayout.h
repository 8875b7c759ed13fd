#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

class SafeFile;

// Where a package's ZIP end record sits and what it says about the central directory.
struct EndRecord
{
    qint64 offset = 0;
    qint64 centralDirectoryOffset = 0;
    qint64 centralDirectorySize = 0;
};

// Finds the end record in `tail`, the file's last bytes, which start at `tailOffset`. The
// record is the last one whose comment runs exactly to the end of the file. Sets `error` and
// returns nothing when there is none, when it is ZIP64, or when the central directory does not
// end where the record begins.
std::optional<EndRecord> FindEndRecord(QByteArrayView tail, qint64 tailOffset, QString &error);

// The parts of a package that signature scheme v2 and v3 digest and the block that signs them.
struct PackageLayout
{
    QString error;
    qint64 fileSize = 0;
    EndRecord end;
    QByteArray endBytes; // the end record and its comment
    // Where the signing block starts, or the central directory's offset when there is none.
    qint64 blockOffset = 0;
    QByteArray block; // empty when the package has no signing block
};

PackageLayout ReadPackageLayout(const SafeFile &file);
