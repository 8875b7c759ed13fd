#pragma once

#include "base/Failure.h"

#include <QByteArray>
#include <QList>
#include <optional>

class SafeFile;
struct EndRecord;

// One central directory record, as Android reads it.
struct ZipDirectoryEntry
{
    QByteArray name;
    quint16 method = 0; // 0: stored; Android inflates any other as deflate
    quint32 crc = 0;
    qint64 compressedSize = 0;
    qint64 uncompressedSize = 0;
    qint64 localHeaderOffset = 0;
    qint64 dataOffset = 0; // past the local header, its name and its extra field
};

struct ZipDirectory
{
    QList<ZipDirectoryEntry> entries; // in the central directory's order
    qint64 dataEnd = 0;               // where the last entry's data ends
};

// Central directories beyond this are refused unread; real ones stay far below it.
inline constexpr qint64 MaxCentralDirectorySize = 64 << 20;

// The central directory that `end` points at, each record checked against the local header it
// names as Android checks it: the same name, sizes and checksum (the method may differ, since
// only the directory's counts), its data ending before the directory, no two records sharing
// one local entry and no entry overlapping the next; a stored entry's two sizes must agree.
// Sets `error` and returns nothing otherwise.
std::optional<ZipDirectory> ReadZipDirectory(const SafeFile &file, const EndRecord &end,
                                             Failure &error);
