#include "DownloadEstimate.h"

#include "digest/SafeFile.h"

#include <zlib.h>

namespace {

constexpr int GzipWindowBits = 15 + 16; // the largest window, written with gzip's framing
constexpr int DefaultMemoryLevel = 8;
constexpr std::size_t ScratchSize = 64 << 10;

} // namespace

struct GzipSizeSink::Stream
{
    z_stream zlib = {};
    bool ok = false;
    qint64 produced = 0;
    unsigned char scratch[ScratchSize];

    // Runs deflate over what is in, counting and dropping its output; false when zlib fails.
    bool run(int flush)
    {
        int result = Z_OK;
        do {
            zlib.next_out = scratch;
            zlib.avail_out = ScratchSize;
            result = deflate(&zlib, flush);
            if (result == Z_STREAM_ERROR)
                return false;
            produced += qint64(ScratchSize - zlib.avail_out);
        } while (zlib.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return true;
    }
};

GzipSizeSink::GzipSizeSink() : stream(std::make_unique<Stream>())
{
    stream->ok = deflateInit2(&stream->zlib, Z_BEST_COMPRESSION, Z_DEFLATED, GzipWindowBits,
                              DefaultMemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

GzipSizeSink::~GzipSizeSink()
{
    if (stream->ok)
        deflateEnd(&stream->zlib);
}

void GzipSizeSink::feed(qint64, const unsigned char *data, std::size_t size)
{
    // zlib counts in unsigned ints; ReadOnce's slices are far smaller.
    stream->zlib.next_in = const_cast<unsigned char *>(data);
    stream->zlib.avail_in = uInt(size);
    stream->ok = stream->ok && stream->run(Z_NO_FLUSH);
}

std::optional<qint64> GzipSizeSink::finish()
{
    stream->zlib.avail_in = 0;
    if (!stream->ok || !stream->run(Z_FINISH))
        return std::nullopt;
    return stream->produced;
}

std::optional<qint64> EstimateDownloadSize(const SafeFile &file)
{
    GzipSizeSink gzip;
    if (!ReadOnce(file, {&gzip}))
        return std::nullopt;
    return gzip.finish();
}
