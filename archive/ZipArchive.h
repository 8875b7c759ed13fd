#pragma once

#include <QByteArray>
#include <QList>
#include <functional>
#include <optional>

class SafeFile;
struct zip;

// Where an entry's bytes lie in the file and how they are kept there.
struct EntryPlacement
{
    bool stored = false;   // kept uncompressed, so the file holds the entry's bytes as they are
    qint64 dataOffset = 0; // where its data starts: past its local header, name and extra field
};

// The entries of a package's ZIP archive, read through libzip from a file that is already open
// (so the safe open's promises hold: no FIFO hangs, nothing is created), which must outlive it.
// Read-only: nothing is ever written back.
class ZipArchive
{
public:
    explicit ZipArchive(const SafeFile &file);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Call once at the program's start, before any archive opens. libzip turns each entry's
    // DOS time into a time_t, and with TZ unset glibc checks /etc/localtime on every such
    // conversion: 7,600 system calls, 13 ms, for framework-res.apk. Naming that same zone file
    // in TZ keeps the local time and makes it one check.
    static void NameTimeZoneFile();

    // Whether libzip accepted the archive; a truncated or damaged one is not open.
    bool isOpen() const { return archive != nullptr; }
    // The names of all entries that start with `prefix`, in the central directory's order.
    QList<QByteArray> entryNames(QByteArrayView prefix = {}) const;
    // The uncompressed size that entry `name` declares; nothing when it is missing.
    std::optional<qint64> entrySize(const QByteArray &name) const;
    // The uncompressed bytes of entry `name`; nothing when it is missing, larger than `maxSize`
    // once uncompressed, or cannot be read whole (corrupt data, a checksum that does not match).
    std::optional<QByteArray> readEntry(const QByteArray &name, qint64 maxSize) const;
    // Hands the uncompressed bytes of entry `name` to `consume` piece by piece, so that an entry
    // of any size takes little memory. False when it is missing or cannot be read whole (corrupt
    // data, a checksum that does not match); the pieces handed over until then stay handed over.
    bool streamEntry(const QByteArray &name,
                     const std::function<void(const char *data, qint64 size)> &consume) const;
    // The first `count` uncompressed bytes of entry `name`, or all of them when it is shorter,
    // for headers at an entry's start. Nothing when it is missing or those bytes cannot be read.
    // The checksum covers the whole entry, so these bytes go unchecked.
    std::optional<QByteArray> readEntryStart(const QByteArray &name, qint64 count) const;
    // How entry `name` is kept and where its data starts. libzip does not tell where an entry
    // lies, so its central directory record and its local header are read here. Nothing when
    // the entry is missing, the archive is ZIP64, or either header is not where it should be.
    std::optional<EntryPlacement> placement(const QByteArray &name) const;

private:
    // Both reads: refuses an entry declared larger than `maxSize` (none when negative) before
    // reading it, and is true only when exactly the declared bytes came and checked out.
    bool readPieces(const QByteArray &name, qint64 maxSize,
                    const std::function<void(const char *, qint64)> &consume) const;

    // The central directory's bytes and, in its order (libzip's index), each entry's name
    // within them and its local header's offset; read on first use. No entries when the
    // central directory cannot be read.
    struct CentralDirectory
    {
        QByteArray bytes;
        QList<std::pair<QByteArrayView, qint64>> entries;
    };
    const CentralDirectory &centralDirectory() const;

    const SafeFile &file;
    zip *archive = nullptr;
    mutable std::optional<CentralDirectory> directory;
};
