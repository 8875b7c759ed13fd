#pragma once

#include "digest/ReadOnce.h"

#include <memory>
#include <optional>

class SafeFile;

// Counts what the bytes fed to it take compressed as gzip does at level 9: zlib's deflate with
// a gzip header (10 bytes, no name or time) and trailer (8 bytes). Only the count is kept.
class GzipSizeSink : public ByteSink
{
public:
    GzipSizeSink();
    ~GzipSizeSink() override;
    GzipSizeSink(const GzipSizeSink &) = delete;
    GzipSizeSink &operator=(const GzipSizeSink &) = delete;

    void feed(qint64 offset, const unsigned char *data, std::size_t size) override;
    // The compressed size of everything fed; nothing when zlib failed.
    std::optional<qint64> finish();

private:
    struct Stream;
    std::unique_ptr<Stream> stream;
};

// A package's estimated download size, as APK Analyzer estimates it: the whole file through
// gzip at level 9. One read of the file in chunks (ReadOnce), so it stops at the next chunk
// when the reading thread is asked to (ScopedReadStop). Nothing when the file does not read
// whole.
std::optional<qint64> EstimateDownloadSize(const SafeFile &file);
