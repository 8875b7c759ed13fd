#include "FileDigests.h"

#include "ReadOnce.h"

FileDigestSinks::FileDigestSinks()
    : md5(DigestAlgorithm::Md5), sha1(DigestAlgorithm::Sha1), sha256(DigestAlgorithm::Sha256)
{
}

FileDigests FileDigestSinks::finish()
{
    return {md5.finishHex(), sha1.finishHex(), sha256.finishHex()};
}

std::optional<FileDigests> ComputeFileDigests(const SafeFile &file)
{
    FileDigestSinks sinks;
    if (!ReadOnce(file, {&sinks.md5, &sinks.sha1, &sinks.sha256}))
        return std::nullopt;
    return sinks.finish();
}
