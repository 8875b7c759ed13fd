#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <memory>

struct z_stream_s;

// Turns an entry's data as the archive keeps it into the entry's bytes, the way Android reads
// it: the central directory's method decides, a stored entry is its data as it stands and any
// other method is inflated as deflate. The local header's method plays no part.
class EntryInflater
{
public:
    // Inflated data is handed out in pieces of at most `pieceSize` bytes: a reader that wants
    // only an entry's start asks for small ones, so no more is inflated than it takes.
    static constexpr qsizetype DefaultPieceSize = 256 << 10;
    explicit EntryInflater(bool stored, qsizetype pieceSize = DefaultPieceSize);
    ~EntryInflater();
    EntryInflater(const EntryInflater &) = delete;
    EntryInflater &operator=(const EntryInflater &) = delete;

    // Decodes the next `size` bytes of the entry's data, handing what comes out to `take` piece
    // by piece. False once the data turns out corrupt (see `corrupt`) or `take` returned false
    // to stop. Data after the end of a deflate stream is ignored, as Android ignores it.
    bool feed(const char *data, qint64 size,
              const std::function<bool(const char *data, qint64 size)> &take);
    bool corrupt() const { return broken; }

private:
    std::unique_ptr<z_stream_s> stream; // null for a stored entry
    QByteArray output;
    bool ended = false;
    bool broken = false;
};
