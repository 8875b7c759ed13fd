#pragma once

#include "EntryInflater.h"

#include <QtGlobal>
#include <functional>

struct ZipDirectoryEntry;

// One entry's bytes, decoded as its data comes in (see EntryInflater) and checked as every read
// of an archive checks them: never a byte past the size the directory declares, exactly that
// size in the end, and the directory's checksum over them.
class EntryReading
{
public:
    EntryReading(const ZipDirectoryEntry &record,
                 std::function<void(const char *data, qint64 size)> consume);
    EntryReading(const EntryReading &) = delete;
    EntryReading &operator=(const EntryReading &) = delete;

    // The next `size` bytes of the entry's data as the file keeps it. False once the entry is
    // known to be bad (corrupt, longer than declared): nothing more need come.
    bool feed(const char *data, qint64 size);
    // Whether exactly the declared bytes came out, with the declared checksum.
    bool finish() const;

private:
    EntryInflater inflater;
    std::function<void(const char *, qint64)> consume;
    qint64 declaredSize;
    quint32 declaredCrc;
    qint64 total = 0;
    quint32 crc = 0;
    bool overlong = false;
};
