#include "ContentDigest.h"

#include "PackageLayout.h"
#include "digest/Digest.h"
#include "digest/SafeFile.h"

#include <QtEndian>
#include <algorithm>
#include <vector>

namespace {

constexpr qint64 EndRecordOffsetField = 16;
constexpr qint64 DigestChunkSize = 1 << 20;
constexpr qsizetype VerityBlockSize = 4096;
constexpr qsizetype VerityDigestSize = 32;
// Android builds the tree with a salt of eight zero bytes.
constexpr char VeritySalt[8] = {};

// Each section is cut into chunks of up to 1 MiB; each chunk is digested behind 0xa5 and its
// length, and the chunks' digests behind 0x5a and their count.
class ChunkedDigest
{
public:
    explicit ChunkedDigest(DigestAlgorithm algorithm) : algorithm(algorithm) {}

    void beginSection(qint64 size) { sectionLeft = size; }

    void update(const char *data, qint64 size)
    {
        while (size > 0) {
            if (!chunk) {
                chunkLeft = std::min(DigestChunkSize, sectionLeft);
                char prefix[5] = {char(0xa5)};
                qToLittleEndian<quint32>(quint32(chunkLeft), prefix + 1);
                chunk = std::make_unique<Digest>(algorithm);
                chunk->update(prefix, sizeof prefix);
            }
            const qint64 taken = std::min(size, chunkLeft);
            chunk->update(data, std::size_t(taken));
            data += taken;
            size -= taken;
            chunkLeft -= taken;
            sectionLeft -= taken;
            if (chunkLeft == 0) {
                chunkDigests += chunk->finish();
                chunk.reset();
                ++chunkCount;
            }
        }
    }

    QByteArray finish()
    {
        char prefix[5] = {char(0x5a)};
        qToLittleEndian<quint32>(chunkCount, prefix + 1);
        Digest top(algorithm);
        top.update(prefix, sizeof prefix);
        top.update(chunkDigests.constData(), std::size_t(chunkDigests.size()));
        return top.finish();
    }

private:
    DigestAlgorithm algorithm;
    std::unique_ptr<Digest> chunk;
    qint64 chunkLeft = 0;
    qint64 sectionLeft = 0;
    QByteArray chunkDigests;
    quint32 chunkCount = 0;
};

QByteArray SaltedSha256(const QByteArray &block)
{
    Digest digest(DigestAlgorithm::Sha256);
    digest.update(VeritySalt, sizeof VeritySalt);
    digest.update(block.constData(), std::size_t(block.size()));
    return digest.finish();
}

// An fs-verity tree over the sections as one stream: each 4 KiB block (the last one padded with
// zeros) is digested, those digests fill the 4 KiB pages of the level above, and so on until a
// level fits in one page, whose digest is the root. Only one page per level is held.
class VerityTree
{
public:
    void update(const char *data, qint64 size)
    {
        length += size;
        while (size > 0) {
            const qint64 taken = std::min(size, qint64(VerityBlockSize - block.size()));
            block.append(data, qsizetype(taken));
            data += taken;
            size -= taken;
            if (block.size() == VerityBlockSize) {
                push(0, SaltedSha256(block));
                block.clear();
            }
        }
    }

    QByteArray finish()
    {
        if (!block.isEmpty()) {
            block.resize(VerityBlockSize, '\0');
            push(0, SaltedSha256(block));
        }
        QByteArray root;
        for (std::size_t level = 0; root.isEmpty(); ++level) {
            Level &current = levels[level];
            QByteArray page = current.page;
            page.resize(VerityBlockSize, '\0');
            if (current.count * VerityDigestSize <= VerityBlockSize)
                root = SaltedSha256(page);
            else
                push(level + 1, SaltedSha256(page));
        }
        char size[8];
        qToLittleEndian<qint64>(length, size);
        return root + QByteArray(size, sizeof size);
    }

private:
    struct Level
    {
        QByteArray page;
        quint64 count = 0;
    };

    // A full page moves up only once the level grows past it: while a level fits in one page,
    // that page is the top, and the root is its digest.
    void push(std::size_t level, const QByteArray &digest)
    {
        if (levels.size() <= level)
            levels.resize(level + 1);
        if (levels[level].page.size() == VerityBlockSize) {
            const QByteArray full = SaltedSha256(levels[level].page);
            levels[level].page.clear();
            push(level + 1, full);
        }
        levels[level].page += digest;
        ++levels[level].count;
    }

    QByteArray block;
    std::vector<Level> levels;
    qint64 length = 0;
};

} // namespace

// Every requested digest, fed the same bytes.
class ContentDigester::Sinks
{
public:
    Sinks(const QList<ContentDigestKind> &kinds, bool verity)
    {
        for (ContentDigestKind kind : kinds) {
            if (kind == ContentDigestKind::VeritySha256 && verity && !tree)
                tree = std::make_unique<VerityTree>();
            else if (kind != ContentDigestKind::VeritySha256 && !chunked.contains(kind))
                chunked.insert(
                    kind, std::make_shared<ChunkedDigest>(kind == ContentDigestKind::ChunkedSha512
                                                              ? DigestAlgorithm::Sha512
                                                              : DigestAlgorithm::Sha256));
        }
    }

    void beginSection(qint64 size)
    {
        for (const auto &digest : std::as_const(chunked))
            digest->beginSection(size);
    }

    void update(const char *data, qint64 size)
    {
        for (const auto &digest : std::as_const(chunked))
            digest->update(data, size);
        if (tree)
            tree->update(data, size);
    }

    QMap<ContentDigestKind, QByteArray> finish()
    {
        QMap<ContentDigestKind, QByteArray> result;
        for (auto it = chunked.cbegin(); it != chunked.cend(); ++it)
            result.insert(it.key(), it.value()->finish());
        if (tree)
            result.insert(ContentDigestKind::VeritySha256, tree->finish());
        return result;
    }

private:
    QMap<ContentDigestKind, std::shared_ptr<ChunkedDigest>> chunked;
    std::unique_ptr<VerityTree> tree;
};

bool VerityApplies(const PackageLayout &layout)
{
    return layout.blockOffset % VerityBlockSize == 0 &&
           (layout.end.centralDirectoryOffset - layout.blockOffset) % VerityBlockSize == 0;
}

ContentDigester::ContentDigester(const PackageLayout &layout, const QList<ContentDigestKind> &kinds)
    : sinks(std::make_unique<Sinks>(kinds, VerityApplies(layout))), endRecord(layout.endBytes),
      blockOffset(layout.blockOffset), directoryOffset(layout.end.centralDirectoryOffset),
      directoryEnd(layout.end.centralDirectoryOffset + layout.end.centralDirectorySize)
{
    if (endRecord.size() >= EndRecordOffsetField + 4)
        qToLittleEndian<quint32>(quint32(blockOffset), endRecord.data() + EndRecordOffsetField);
    else
        complete = false;
    next = blockOffset > 0 ? 0 : directoryEnd > directoryOffset ? directoryOffset : -1;
}

ContentDigester::~ContentDigester() = default;

void ContentDigester::feed(qint64 offset, const char *data, qint64 size)
{
    while (next >= 0) {
        const bool entries = next < blockOffset;
        const qint64 begin = entries ? 0 : directoryOffset;
        const qint64 end = entries ? blockOffset : directoryEnd;
        // A piece that starts past what is expected next leaves a gap in the digest.
        if (offset > next) {
            complete = false;
            next = -1;
            return;
        }
        const qint64 to = std::min(offset + size, end);
        if (to <= next)
            return;
        if (next == begin)
            sinks->beginSection(end - begin);
        sinks->update(data + (next - offset), to - next);
        next = to;
        if (next < end)
            return;
        next = entries && directoryEnd > directoryOffset ? directoryOffset : -1;
    }
}

QMap<ContentDigestKind, QByteArray> ContentDigester::finish()
{
    if (!complete || next >= 0)
        return {};
    // With its comment of at most 64 KiB the end record is always a single chunk.
    sinks->beginSection(endRecord.size());
    sinks->update(endRecord.constData(), endRecord.size());
    return sinks->finish();
}

QMap<ContentDigestKind, QByteArray> ComputeContentDigests(const SafeFile &file,
                                                          const PackageLayout &layout,
                                                          const QList<ContentDigestKind> &kinds)
{
    if (kinds.isEmpty())
        return {};
    ContentDigester digester(layout, kinds);
    const auto readSection = [&](qint64 offset, qint64 size) {
        return file.readRange(
            offset, size, [&digester, &offset](const unsigned char *data, std::size_t count) {
                digester.feed(offset, reinterpret_cast<const char *>(data), qint64(count));
                offset += qint64(count);
            });
    };
    if (!readSection(0, layout.blockOffset) ||
        !readSection(layout.end.centralDirectoryOffset, layout.end.centralDirectorySize))
        return {};
    return digester.finish();
}
