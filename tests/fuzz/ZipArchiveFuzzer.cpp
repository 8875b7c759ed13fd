// libFuzzer target: any bytes taken for a whole package must open, or be refused, without a
// crash, a hang or a huge allocation; an archive that opens keeps the one reading promised
// (one end record, unique names, entries before the directory), and the signature check and
// the channel reader, which read through it, survive whatever it serves. The bytes live in a
// memfd, so the archive reads a real descriptor and nothing touches the disk.
#include "apk/ReadChannel.h"
#include "apk/VerifyPackageSignatures.h"
#include "archive/ZipArchive.h"
#include "digest/SafeFile.h"

#include <QSet>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Small entries are read whole; the inflate limit keeps large ones from taking the time.
constexpr qint64 LargestRead = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = memfd_create("package", MFD_CLOEXEC);
    Require(fd >= 0);
    for (std::size_t written = 0; written < size;) {
        const ssize_t count = ::write(fd, data + written, size - written);
        Require(count > 0);
        written += std::size_t(count);
    }
    {
        const SafeFile file("/proc/self/fd/" + QByteArray::number(fd));
        const ZipArchive archive(file);
        Require(archive.isOpen() == !archive.problem().failed());
        if (archive.isOpen()) {
            const EndRecord &end = archive.endRecord();
            Require(end.offset + 22 + end.commentSize == qint64(size));
            Require(archive.dataEnd() <= end.centralDirectoryOffset);
            const QList<QByteArray> names = archive.entryNames();
            Require(QSet<QByteArray>(names.cbegin(), names.cend()).size() == names.size());
            for (const QByteArray &name : names)
                if (const auto bytes = archive.readEntry(name, LargestRead))
                    Require(bytes->size() <= LargestRead);
        }
        VerifyPackageSignatures(file, archive);
        if (const auto channel = ReadChannel(file, archive))
            Require(archive.isOpen() && channel->size() <= MaxChannelLength);
    }
    ::close(fd);
    return 0;
}
