#include "ContentDigest.h"

#include "PackageLayout.h"
#include "digest/SafeFile.h"

#include <QtEndian>
#include <memory>
#include <vector>

namespace {

// The schemes digest in chunks of 1 MiB, the size SafeFile reads in.
static_assert(SafeFile::ChunkSize == 1 << 20);
constexpr qint64 EndRecordOffsetField = 16;

class ChunkedDigests
{
public:
    explicit ChunkedDigests(const QList<DigestAlgorithm> &algorithms) : algorithms(algorithms)
    {
        chunkDigests.resize(algorithms.size());
    }

    void beginChunk(qint64 size)
    {
        char prefix[5] = {char(0xa5)};
        qToLittleEndian<quint32>(quint32(size), prefix + 1);
        chunks.clear();
        for (DigestAlgorithm algorithm : algorithms) {
            chunks.push_back(std::make_unique<Digest>(algorithm));
            chunks.back()->update(prefix, sizeof prefix);
        }
        ++chunkCount;
    }

    void update(const char *data, qint64 size)
    {
        for (const auto &chunk : chunks)
            chunk->update(data, std::size_t(size));
    }

    void endChunk()
    {
        for (qsizetype i = 0; i < algorithms.size(); ++i)
            chunkDigests[i] += chunks[std::size_t(i)]->finish();
    }

    QMap<DigestAlgorithm, QByteArray> finish()
    {
        QMap<DigestAlgorithm, QByteArray> result;
        char prefix[5] = {char(0x5a)};
        qToLittleEndian<quint32>(chunkCount, prefix + 1);
        for (qsizetype i = 0; i < algorithms.size(); ++i) {
            Digest top(algorithms[i]);
            top.update(prefix, sizeof prefix);
            top.update(chunkDigests[i].constData(), std::size_t(chunkDigests[i].size()));
            result.insert(algorithms[i], top.finish());
        }
        return result;
    }

private:
    QList<DigestAlgorithm> algorithms;
    std::vector<std::unique_ptr<Digest>> chunks;
    QList<QByteArray> chunkDigests;
    quint32 chunkCount = 0;
};

bool DigestFileSection(const SafeFile &file, qint64 offset, qint64 size, ChunkedDigests &digests)
{
    return file.readRange(offset, size, [&digests](const unsigned char *data, std::size_t count) {
        digests.beginChunk(qint64(count));
        digests.update(reinterpret_cast<const char *>(data), qint64(count));
        digests.endChunk();
    });
}

} // namespace

QMap<DigestAlgorithm, QByteArray> ComputeContentDigests(const SafeFile &file,
                                                        const PackageLayout &layout,
                                                        const QList<DigestAlgorithm> &algorithms)
{
    if (algorithms.isEmpty())
        return {};
    ChunkedDigests digests(algorithms);
    if (!DigestFileSection(file, 0, layout.blockOffset, digests) ||
        !DigestFileSection(file, layout.end.centralDirectoryOffset, layout.end.centralDirectorySize,
                           digests))
        return {};
    // The end record as it was before the block went in: its directory offset is the block's.
    QByteArray end = layout.endBytes;
    qToLittleEndian<quint32>(quint32(layout.blockOffset), end.data() + EndRecordOffsetField);
    // With its comment of at most 64 KiB it is always a single chunk.
    digests.beginChunk(end.size());
    digests.update(end.constData(), end.size());
    digests.endChunk();
    return digests.finish();
}
