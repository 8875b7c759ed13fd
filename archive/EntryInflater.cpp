#include "EntryInflater.h"

#include <zlib.h>

EntryInflater::EntryInflater(bool stored, qsizetype pieceSize)
{
    if (stored)
        return;
    stream = std::make_unique<z_stream_s>();
    // Raw deflate data, without a zlib header.
    if (inflateInit2(stream.get(), -MAX_WBITS) != Z_OK) {
        stream.reset();
        broken = true;
        return;
    }
    output.resize(pieceSize);
}

EntryInflater::~EntryInflater()
{
    if (stream)
        inflateEnd(stream.get());
}

bool EntryInflater::feed(const char *data, qint64 size,
                         const std::function<bool(const char *, qint64)> &take)
{
    if (broken)
        return false;
    if (!stream)
        return take(data, size);
    if (ended)
        return true;
    stream->next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    stream->avail_in = uInt(size);
    // Every round either consumes input or hands out output; a round that can do neither ends it.
    do {
        stream->next_out = reinterpret_cast<Bytef *>(output.data());
        stream->avail_out = uInt(output.size());
        const int status = inflate(stream.get(), Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            ended = true;
        } else if (status == Z_BUF_ERROR) {
            break;
        } else if (status != Z_OK) {
            broken = true;
            return false;
        }
        const qint64 produced = output.size() - qint64(stream->avail_out);
        if (produced > 0 && !take(output.constData(), produced))
            return false;
    } while (!ended && (stream->avail_in > 0 || stream->avail_out == 0));
    return true;
}
