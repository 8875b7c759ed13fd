#pragma once

#include <QByteArray>
#include <QList>
#include <functional>
#include <optional>

class SafeFile;
struct zip;

// The entries of a package's ZIP archive, read through libzip from a file that is already open
// (so the safe open's promises hold: no FIFO hangs, nothing is created). Read-only: nothing is
// ever written back.
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
    // The names of all entries, in the central directory's order.
    QList<QByteArray> entryNames() const;
    // The uncompressed size that the central directory declares for entry `name`; nothing when
    // it is missing. A read never hands over more than this.
    std::optional<qint64> entrySize(const QByteArray &name) const;
    // The uncompressed bytes of entry `name`; nothing when it is missing, larger than `maxSize`
    // once uncompressed, or cannot be read whole (corrupt data, a checksum that does not match).
    std::optional<QByteArray> readEntry(const QByteArray &name, qint64 maxSize) const;
    // Hands the uncompressed bytes of entry `name` to `consume` piece by piece, so that an entry
    // of any size takes little memory. False when it is missing or cannot be read whole (corrupt
    // data, a checksum that does not match); the pieces handed over until then stay handed over.
    bool streamEntry(const QByteArray &name,
                     const std::function<void(const char *data, qint64 size)> &consume) const;

private:
    // Both reads: refuses an entry declared larger than `maxSize` (none when negative) before
    // reading it, and is true only when exactly the declared bytes came and checked out.
    bool readPieces(const QByteArray &name, qint64 maxSize,
                    const std::function<void(const char *, qint64)> &consume) const;

    zip *archive = nullptr;
};
