#include "ReadOnce.h"

#include "SafeFile.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Small enough that the sinks of a lane take turns while the slice stays in the cache.
constexpr std::size_t SliceSize = 64 << 10;

void FeedSlices(const QList<ByteSink *> &sinks, qint64 offset, const unsigned char *data,
                std::size_t size)
{
    for (std::size_t at = 0; at < size; at += SliceSize) {
        const std::size_t count = std::min(SliceSize, size - at);
        for (ByteSink *sink : sinks)
            sink->feed(offset + qint64(at), data + at, count);
    }
}

// The chunks handed to the second lane, each in a buffer of its own until that lane is done.
class ChunkRing
{
public:
    ChunkRing(const QList<ByteSink *> &sinks, ReadAhead ahead) : sinks(sinks)
    {
        for (std::size_t i = 0; i < ahead.chunks; ++i)
            buffers.push_back(AllocateChunk(ahead.chunkSize));
    }

    bool allocated() const
    {
        return std::all_of(buffers.begin(), buffers.end(), [](const auto &b) { return bool(b); });
    }

    // The buffer for the next chunk, once the second lane has let go of it.
    unsigned char *next()
    {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return waiting.size() < buffers.size(); });
        return buffers[produced++ % buffers.size()].get();
    }

    void hand(qint64 offset, const unsigned char *data, std::size_t size)
    {
        {
            const std::lock_guard lock(mutex);
            waiting.push_back({offset, data, size});
        }
        arrived.notify_one();
    }

    void end()
    {
        {
            const std::lock_guard lock(mutex);
            ended = true;
        }
        arrived.notify_one();
    }

    // The second lane: every chunk handed over, in order, until the end.
    void drain()
    {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex);
                arrived.wait(lock, [&] { return ended || !waiting.empty(); });
                if (waiting.empty())
                    return;
                chunk = waiting.front();
            }
            FeedSlices(sinks, chunk.offset, chunk.data, chunk.size);
            {
                const std::lock_guard lock(mutex);
                waiting.pop_front();
            }
            released.notify_one();
        }
    }

private:
    struct Chunk
    {
        qint64 offset = 0;
        const unsigned char *data = nullptr;
        std::size_t size = 0;
    };

    const QList<ByteSink *> &sinks;
    std::vector<ChunkBuffer> buffers;
    std::mutex mutex;
    std::condition_variable arrived;
    std::condition_variable released;
    std::deque<Chunk> waiting; // handed over, in order; the front one may be in the lane's hands
    std::size_t produced = 0;
    bool ended = false;
};

} // namespace

bool ReadOnce(const SafeFile &file, const QList<ByteSink *> &first, const QList<ByteSink *> &second,
              const std::function<bool()> &keepGoing, ReadAhead ahead)
{
    qint64 offset = 0;
    if (second.isEmpty())
        return file.readWhole(
            [&](const unsigned char *data, std::size_t size) {
                FeedSlices(first, offset, data, size);
                offset += qint64(size);
            },
            keepGoing);

    ChunkRing ring(second, ahead);
    if (!ring.allocated())
        return false;
    std::thread lane([&ring] { ring.drain(); });
    const bool whole = file.readWhole(
        [&](const unsigned char *data, std::size_t size) {
            ring.hand(offset, data, size);
            FeedSlices(first, offset, data, size);
            offset += qint64(size);
        },
        keepGoing, [&ring] { return ring.next(); }, ahead.chunkSize);
    ring.end();
    lane.join();
    return whole;
}
