#pragma once

#include "base/Failure.h"

#include <QByteArrayView>
#include <optional>

// Where a ZIP end record sits and what it says about the central directory.
struct EndRecord
{
    qint64 offset = 0;
    qint64 centralDirectoryOffset = 0;
    qint64 centralDirectorySize = 0;
    qint64 entryCount = 0;
    qint64 commentSize = 0;
};

// The largest tail of a file that can hold the end record and its comment.
inline constexpr qint64 EndRecordSearchSize = 22 + 0xffff;

// Finds the end record in `tail`, the file's last bytes, which start at `tailOffset`: the last
// one whose comment runs exactly to the end of the file, as Android and aapt take it. Sets
// `error` and returns nothing when there is none, when it is ZIP64, when the central directory
// does not end where the record begins, or when an earlier record would parse as well, since
// another reader could take that one and see other entries.
std::optional<EndRecord> FindEndRecord(QByteArrayView tail, qint64 tailOffset, Failure &error);
