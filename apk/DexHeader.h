#pragma once

#include "base/Failure.h"

#include <QByteArrayView>
#include <optional>

// What a DEX file's header says of it. The counts are the header's own: only the whole file
// could show that its tables hold what it claims, so they are taken once the header is shown to
// be consistent with the entry it came from (see ParseDexHeader).
struct DexHeader
{
    int version = 0; // the format version, 35 for "dex\n035\0"
    quint32 classes = 0;
    quint32 methods = 0; // method references, the table the 65,536 limit applies to
    quint32 fields = 0;
    quint32 strings = 0;
    // Version 41 keeps several DEX files in one entry; the counts are then the first one's.
    bool moreInContainer = false;
};

// The bytes of a DEX file's start that hold its header: 0x70, and 0x78 from version 41 on.
inline constexpr qsizetype DexHeaderBytes = 0x78;

// A DEX file has at most this many method references: instructions name them by 16-bit index.
inline constexpr quint32 MethodReferenceLimit = 65536;

struct DexHeaderReading
{
    std::optional<DexHeader> header;
    Failure problem; // why there is none
};

// Reads the header at the start of a DEX entry, `start` its first bytes (DexHeaderBytes, fewer
// when the entry is shorter) and `entrySize` the size the archive declares for it once
// uncompressed. Checks what the runtime's verifier checks of a header: the magic "dex\n0NN\0",
// the little-endian tag, the header's size for its version, a file size that is the entry's
// (for a container, its size and a first header at its start), and every table the counts
// describe lying inside that file, type and prototype tables within their 16-bit limits. So a
// count can be no larger than the entry's declared size allows.
DexHeaderReading ParseDexHeader(QByteArrayView start, qint64 entrySize);

// Whether a DEX file with `methods` method references nears the limit: within a tenth of it,
// about what one more mid-sized library (an HTTP client, a JSON binding) adds.
bool NearsMethodLimit(quint32 methods);
