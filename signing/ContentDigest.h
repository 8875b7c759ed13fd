#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <memory>

class SafeFile;
struct PackageLayout;

// What a v2 or v3 signer vouches for about the package's bytes outside the signing block.
enum class ContentDigestKind
{
    ChunkedSha256, // SHA-256 over 1 MiB chunks, then over the chunks' digests
    ChunkedSha512,
    VeritySha256, // the root of an fs-verity SHA-256 tree over 4 KiB blocks, and the length
};

// Verity digests cover the file as if the signing block were cut out, which works only when the
// block starts and ends on a 4 KiB boundary.
bool VerityApplies(const PackageLayout &layout);

// Computes the content digests from the package's bytes as they are read, in file order, in any
// pieces: the entries before the signing block, the central directory, and the end record with
// its directory offset pointing at the block. Every requested kind is computed in the same pass,
// in bounded memory, so that a reader of the whole file can feed it along the way.
class ContentDigester
{
public:
    ContentDigester(const PackageLayout &layout, const QList<ContentDigestKind> &kinds);
    ~ContentDigester();
    ContentDigester(const ContentDigester &) = delete;
    ContentDigester &operator=(const ContentDigester &) = delete;

    // `size` bytes of the file from `offset`; pieces must come in file order without a gap
    // inside what is digested, and whatever lies outside it is passed over.
    void feed(qint64 offset, const char *data, qint64 size);
    // The digests, or nothing when not every digested byte was fed. Verity is left out where it
    // does not apply.
    QMap<ContentDigestKind, QByteArray> finish();

private:
    class Sinks;
    std::unique_ptr<Sinks> sinks;
    QByteArray endRecord; // as digested, its directory offset the block's
    qint64 blockOffset;
    qint64 directoryOffset;
    qint64 directoryEnd;
    qint64 next = 0; // the next file offset expected inside a digested section
    bool complete = true;
};

// Reads the digested sections of `file` once and returns their digests; nothing when the file
// cannot be read whole.
QMap<ContentDigestKind, QByteArray> ComputeContentDigests(const SafeFile &file,
                                                          const PackageLayout &layout,
                                                          const QList<ContentDigestKind> &kinds);
