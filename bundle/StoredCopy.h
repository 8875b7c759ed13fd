#pragma once

#include "base/MemoryFile.h"
#include "digest/ReadOnce.h"

class SafeFile;

// A stretch of a file that the file stores as it is (a bundle's base), copied into a memory
// file from the bytes of a read of the whole file as they go by, so that the copy costs no read
// of its own and is ready as soon as the read has passed it. Sealed once complete.
class StoredCopy : public ByteSink
{
public:
    StoredCopy(qint64 offset, qint64 size);

    void feed(qint64 offset, const unsigned char *data, std::size_t size) override;
    // Whether every byte is in and the copy sealed.
    bool complete() const { return sealed; }
    // Copies what the read did not bring straight from `file` (the kernel copies it) and seals;
    // false when that fails.
    bool completeFrom(const SafeFile &file);
    const MemoryFile &file() const { return copy; }

private:
    MemoryFile copy;
    qint64 from;
    qint64 size;
    bool failed = false;
    bool sealed = false;
};
