#pragma once

#include "Digest.h"
#include "SafeFile.h"

#include <QList>
#include <QtGlobal>
#include <atomic>
#include <cstddef>
#include <functional>

// Something fed a file's bytes in order by one read that may feed others too: a digest, the
// signature check's content and entry digests, a copy of a part.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // `size` bytes of the file from `offset`; pieces come in file order, without gaps.
    virtual void feed(qint64 offset, const unsigned char *data, std::size_t size) = 0;
};

// A digest of every byte fed.
class DigestSink : public ByteSink
{
public:
    explicit DigestSink(DigestAlgorithm algorithm) : digest(algorithm) {}
    void feed(qint64, const unsigned char *data, std::size_t size) override
    {
        digest.update(data, size);
    }
    QByteArray finishHex() { return digest.finishHex(); }

private:
    Digest digest;
};

// Counts the bytes fed, for a progress bar that another thread shows.
class ByteCounter : public ByteSink
{
public:
    explicit ByteCounter(std::atomic<qint64> &count) : count(count) {}
    void feed(qint64, const unsigned char *, std::size_t size) override { count += qint64(size); }

private:
    std::atomic<qint64> &count;
};

// How far a read may run ahead of its second lane: `chunks` buffers of `chunkSize` bytes each.
struct ReadAhead
{
    std::size_t chunks;
    qint64 chunkSize;
};
// Enough to ride out a slower stretch on either side.
constexpr ReadAhead WideReadAhead{8, SafeFile::ChunkSize};
// For a second lane that does all the work: it never waits for the read, and the buffers take
// no more memory than one wide chunk.
constexpr ReadAhead NarrowReadAhead{2, SafeFile::ChunkSize / 2};

// Reads `file` once, from its start, and hands every chunk to each sink of `first`, on this
// thread, and of `second`, on a thread of its own when there are any, so that two cores share
// the digests of one read. Each chunk goes to a lane's sinks in slices that stay in the cache
// between them. `keepGoing`, when given, is asked on this thread after each chunk. True only
// when exactly the file's length was read (see SafeFile::readWhole); the second lane has taken
// in every chunk read by the time it returns. With no sinks of its own this thread only reads,
// and the kernel's copy of each chunk overlaps the second lane's work on the one before.
bool ReadOnce(const SafeFile &file, const QList<ByteSink *> &first,
              const QList<ByteSink *> &second = {},
              const std::function<bool()> &keepGoing = nullptr, ReadAhead ahead = WideReadAhead);
