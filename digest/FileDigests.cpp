#include "FileDigests.h"

#include "Digest.h"
#include "SafeFile.h"

#include <algorithm>

namespace {

// Each read chunk goes to the three digests in slices small enough to stay in the cache
// between them.
constexpr std::size_t SliceSize = 64 << 10;

} // namespace

std::optional<FileDigests> ComputeFileDigests(const SafeFile &file)
{
    Digest md5(DigestAlgorithm::Md5), sha1(DigestAlgorithm::Sha1), sha256(DigestAlgorithm::Sha256);
    const bool whole = file.readWhole([&](const unsigned char *data, std::size_t size) {
        for (std::size_t at = 0; at < size; at += SliceSize) {
            const std::size_t count = std::min(SliceSize, size - at);
            md5.update(data + at, count);
            sha1.update(data + at, count);
            sha256.update(data + at, count);
        }
    });
    if (!whole)
        return std::nullopt;
    return FileDigests{md5.finishHex(), sha1.finishHex(), sha256.finishHex()};
}
