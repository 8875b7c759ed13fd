#pragma once

#include "Digest.h"

#include <QList>
#include <QtGlobal>
#include <atomic>
#include <cstddef>
#include <functional>

class SafeFile;

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

// Reads `file` once, from its start, and hands every chunk to each sink of `first`, on this
// thread, and of `second`, on a thread of its own when there are any, so that two cores share
// the digests of one read. Each chunk goes to a lane's sinks in slices that stay in the cache
// between them. `keepGoing`, when given, is asked on this thread after each chunk. True only
// when exactly the file's length was read (see SafeFile::readWhole); the second lane has taken
// in every chunk read by the time it returns.
bool ReadOnce(const SafeFile &file, const QList<ByteSink *> &first,
              const QList<ByteSink *> &second = {},
              const std::function<bool()> &keepGoing = nullptr);
