#pragma once

#include "ChunkBuffer.h"

#include <QByteArray>
#include <cstddef>
#include <functional>
#include <memory>

// A file opened only to be read. It is never created or written, it is opened close-on-exec and
// non-blocking, so that a FIFO or device named like a package cannot hang the window, and it is
// refused unless it is a regular file. Reads go through pread, never a mapping: a file that
// another program truncates gives a short read instead of SIGBUS.
class SafeFile
{
public:
    // `path` holds the name's bytes as the file system has them, UTF-8 or not.
    explicit SafeFile(const QByteArray &path);
    // The file already open as `descriptor`, read through a duplicate of it, so both read the one
    // open file whatever happens to its name; refused unless it is a regular file.
    explicit SafeFile(int descriptor);
    // `length` bytes of `file` from `offset`, read as a file of their own (an entry the archive
    // stores as it is, say), through a duplicate of its descriptor; not open unless `file` is and
    // they lie inside it.
    SafeFile(const SafeFile &file, qint64 offset, qint64 length);
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Whether the file opened and is a regular file; nothing else works otherwise.
    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    // Where its first byte lies in the file the descriptor reads: 0 unless it is part of one.
    qint64 origin() const { return start; }
    // The length when it was opened; -1 unless open.
    qint64 size() const { return length; }

    // Every read below fails once the calling thread is asked to stop (ReadStop.h).

    // Exactly `count` bytes at `offset` into `buffer`. False on a read error, a negative
    // offset or count, or a short read (the file ends earlier).
    bool readAt(qint64 offset, void *buffer, qint64 count) const;

    using ChunkConsumer = std::function<void(const unsigned char *data, std::size_t size)>;
    // Reads the whole file from its start in page-aligned chunks of up to 1 MiB, handing each to
    // `consume`. After each chunk `keepGoing`, when given, decides whether to go on. True only
    // when exactly size() bytes were read: false on a read error, when the file grew or shrank
    // meanwhile, or when `keepGoing` said stop.
    bool readWhole(const ChunkConsumer &consume,
                   const std::function<bool()> &keepGoing = nullptr) const;
    // The same, each chunk of up to `chunkSize` bytes read into the buffer `nextBuffer` hands
    // out (that large, page-aligned), so that a consumer may keep a chunk while the next one is
    // read. A part of a file is read to its end, never past it.
    bool readWhole(const ChunkConsumer &consume, const std::function<bool()> &keepGoing,
                   const std::function<unsigned char *()> &nextBuffer,
                   qint64 chunkSize = ChunkSize) const;
    // Reads `count` bytes from `offset` in page-aligned chunks of exactly ChunkSize bytes (the
    // last one shorter), handing each to `consume`. False on a read error or when the file ends
    // earlier.
    bool readRange(qint64 offset, qint64 count, const ChunkConsumer &consume) const;

    static constexpr qint64 ChunkSize = 1 << 20;

private:
    // Keeps `fd` when it is a regular file, with its length; closes it otherwise.
    void takeRegularFile();

    int fd = -1;
    qint64 start = 0;
    qint64 length = -1;
    bool part = false;
};
