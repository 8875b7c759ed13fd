#include "ContentDigest.h"

#include "PackageLayout.h"
#include "digest/SafeFile.h"

#include <QtEndian>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr qint64 ChunkSize = 1 << 20;
constexpr qint64 EndRecordOffsetField = 16;

struct FreeBuffer
{
    void operator()(char *p) const { std::free(p); }
};

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

bool DigestFileSection(const SafeFile &file, qint64 offset, qint64 size, char *buffer,
                       ChunkedDigests &digests)
{
    for (qint64 done = 0; done < size; done += ChunkSize) {
        const qint64 chunkSize = qMin(ChunkSize, size - done);
        if (!file.readAt(offset + done, buffer, chunkSize))
            return false;
        digests.beginChunk(chunkSize);
        digests.update(buffer, chunkSize);
        digests.endChunk();
    }
    return true;
}

} // namespace

QMap<DigestAlgorithm, QByteArray> ComputeContentDigests(const SafeFile &file,
                                                        const PackageLayout &layout,
                                                        const QList<DigestAlgorithm> &algorithms)
{
    std::unique_ptr<char, FreeBuffer> buffer(
        static_cast<char *>(std::aligned_alloc(4096, std::size_t(ChunkSize))));
    if (!buffer || algorithms.isEmpty())
        return {};
    ChunkedDigests digests(algorithms);
    if (!DigestFileSection(file, 0, layout.blockOffset, buffer.get(), digests) ||
        !DigestFileSection(file, layout.end.centralDirectoryOffset, layout.end.centralDirectorySize,
                           buffer.get(), digests))
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
